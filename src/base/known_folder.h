// The shell's known folders (Windows only; included by *_win.cpp files): the user's local
// application data, Downloads and the like, wherever the user or an administrator moved them.
#pragma once

#include <filesystem>

#include <windows.h>

#include <shlobj.h>

namespace tavrin::base {

// The folder `id` (FOLDERID_…) with SHGetKnownFolderPath's `flags` (KF_FLAG_CREATE makes a
// missing one); empty when the shell does not name it.
[[nodiscard]] std::filesystem::path knownFolderPath(const KNOWNFOLDERID& id, DWORD flags);

} // namespace tavrin::base
