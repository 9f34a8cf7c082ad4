// Where programs keep the current user's own data: the history, and a library of the user's own.
#pragma once

#include <filesystem>

namespace tavrin::base {

// $XDG_DATA_HOME when it is an absolute path (the base-directory rules ignore a relative one),
// else $HOME/.local/share on freedesktop systems; %LOCALAPPDATA% (the local application data
// folder) on Windows. Empty when the environment names none. Read at each call, so that a
// changed environment is seen.
[[nodiscard]] std::filesystem::path userDataHome();

} // namespace tavrin::base
