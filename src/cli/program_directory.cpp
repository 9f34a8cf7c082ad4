#include "cli/program_directory.h"

#include "platform/data_folders.h"

#include <cstdlib>

namespace tavrin::cli {

std::filesystem::path programDirectory()
{
    std::error_code ignored;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", ignored);
    return executable.empty() ? std::filesystem::current_path(ignored) : executable.parent_path();
}

std::filesystem::path installedDataDirectory()
{
    return platform::installedDataFolder(programDirectory(), TAVRIN_DATA_FROM_PROGRAM);
}

std::filesystem::path defaultLibraryFile(std::string_view fileName)
{
    const platform::LibraryFolders folders{
        programDirectory(), platform::userDataFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")),
        installedDataDirectory()};
    return platform::findLibraryFile(folders, fileName);
}

} // namespace tavrin::cli
