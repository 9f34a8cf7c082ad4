// Where the program finds its starting library, url.txt: beside the program file (a build tree,
// or a copy unpacked anywhere), then in the user's own data folder, then in the data folder of
// an installation. A user who keeps a library of their own in ~/.local/share/tavrin
// (%LOCALAPPDATA%\tavrin on Windows) gets it whichever installed copy of the program they start.
//
// No widgets and no Qt: the front end reads the environment and hands it in, so tests can
// build every arrangement in temporary folders.
#pragma once

#include <filesystem>
#include <string_view>

namespace tavrin::platform {

// The name of the program's folder inside a data folder (…/share/tavrin).
inline constexpr std::string_view kDataFolderName = "tavrin";

// The folders searched for the starting library, in the order they are searched.
struct LibraryFolders
{
    std::filesystem::path besideProgram;
    // $XDG_DATA_HOME/tavrin, or ~/.local/share/tavrin; empty when neither variable says where.
    std::filesystem::path userData;
    // <prefix>/share/tavrin of the installation the program runs from.
    std::filesystem::path installedData;
};

// The user's data folder for this program by the XDG base directory rules: $XDG_DATA_HOME/tavrin
// when XDG_DATA_HOME is an absolute path (a relative or empty one is to be ignored), otherwise
// $HOME/.local/share/tavrin; empty when HOME is not set either. Either argument may be null.
[[nodiscard]] std::filesystem::path userDataFolder(const char* xdgDataHome, const char* home);

// The user's data folder for this program on this system: the above from the environment on
// freedesktop systems, %LOCALAPPDATA%\tavrin on Windows (base::userDataHome). Empty when the
// environment names none.
[[nodiscard]] std::filesystem::path userDataFolder();

// The installation's data folder seen from the folder of the program file: `dataFromProgram` is
// the installed layout's path from the one to the other ("../share/tavrin" for bin/ and share/).
[[nodiscard]] std::filesystem::path installedDataFolder(const std::filesystem::path& programDir,
                                                        const std::filesystem::path& dataFromProgram);

// The first of the folders holding `fileName` as a file (a link to one counts; a folder of that
// name does not). When none does, the one beside the program: loading it then finds nothing and
// leaves the list empty, as a missing url.txt always has.
[[nodiscard]] std::filesystem::path findLibraryFile(const LibraryFolders& folders, std::string_view fileName);

} // namespace tavrin::platform
