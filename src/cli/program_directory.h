// Where the files shipped with tavrin-cli lie: beside the executable in a build tree or an
// unpacked copy, in the shared data folder once installed.
#pragma once

#include <filesystem>
#include <string_view>

namespace tavrin::cli {

// The folder of the running executable; the current folder when it cannot be found.
[[nodiscard]] std::filesystem::path programDirectory();

// The installation's data folder (<prefix>/share/tavrin), reached from the program's folder.
[[nodiscard]] std::filesystem::path installedDataDirectory();

// The starting library when none is named: searched where the window searches for it (beside
// the program, the user's data folder, the installed one), so an installed tavrin-cli finds the
// library the window uses.
[[nodiscard]] std::filesystem::path defaultLibraryFile(std::string_view fileName);

} // namespace tavrin::cli
