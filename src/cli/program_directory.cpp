#include "cli/program_directory.h"

#include "cli/program_file.h"
#include "platform/data_folders.h"

#include <system_error>

namespace tavrin::cli {

std::filesystem::path programDirectory()
{
    const std::filesystem::path executable = runningProgramFile();
    std::error_code ignored;
    return executable.empty() ? std::filesystem::current_path(ignored) : executable.parent_path();
}

std::filesystem::path installedDataDirectory()
{
    return platform::installedDataFolder(programDirectory(), TAVRIN_DATA_FROM_PROGRAM);
}

std::filesystem::path defaultLibraryFile(std::string_view fileName)
{
    const platform::LibraryFolders folders{programDirectory(), platform::userDataFolder(),
                                           installedDataDirectory()};
    return platform::findLibraryFile(folders, fileName);
}

} // namespace tavrin::cli
