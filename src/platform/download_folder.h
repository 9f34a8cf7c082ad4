// Where a file the program fetches for the user goes when it cannot go beside the program: the
// user's download folder. An installed program lives in a folder of the system's, where the user
// may not write; an unpacked copy lives in one of the user's own.
//
// The lookup is the desktop's business: on freedesktop systems (download_folder_xdg.cpp) the
// user-dirs setting that `xdg-user-dir` reads; on Windows (download_folder_win.cpp) the shell's
// known Downloads folder.
#pragma once

#include <filesystem>
#include <string>

namespace tavrin::platform {

// The user's download folder: the folder `userDirCommand DOWNLOAD` prints, when that command is
// there and answers within a few seconds with an absolute path, else Downloads in `home`. It is
// created (with its parents) when missing. Empty when neither names a folder or it cannot be
// made. Starts a process and waits for it: not for the user-interface thread. Freedesktop
// systems only.
[[nodiscard]] std::filesystem::path userDownloadFolder(const std::string& userDirCommand, const char* home);

// The same for this session: xdg-user-dir found on the PATH, and $HOME; on Windows the shell's
// Downloads folder (created when missing). Empty when there is none.
[[nodiscard]] std::filesystem::path userDownloadFolder();

// Whether this process may create files in `folder`: it is a folder, and neither its permissions
// nor a read-only file system stop a write.
[[nodiscard]] bool mayWriteInFolder(const std::filesystem::path& folder);

} // namespace tavrin::platform
