#include "platform/data_folders.h"

#include "base/user_data_home.h"

#include <array>
#include <system_error>

namespace tavrin::platform {

std::filesystem::path userDataFolder(const char* xdgDataHome, const char* home)
{
    if (xdgDataHome && *xdgDataHome) {
        const std::filesystem::path configured(xdgDataHome);
        if (configured.is_absolute())
            return configured / kDataFolderName;
    }
    if (home && *home)
        return std::filesystem::path(home) / ".local" / "share" / kDataFolderName;
    return {};
}

std::filesystem::path userDataFolder()
{
    const std::filesystem::path home = base::userDataHome();
    return home.empty() ? home : home / kDataFolderName;
}

std::filesystem::path installedDataFolder(const std::filesystem::path& programDir,
                                          const std::filesystem::path& dataFromProgram)
{
    return (programDir / dataFromProgram).lexically_normal();
}

std::filesystem::path findLibraryFile(const LibraryFolders& folders, std::string_view fileName)
{
    const std::array<const std::filesystem::path*, 3> order = {&folders.besideProgram, &folders.userData,
                                                               &folders.installedData};
    for (const std::filesystem::path* folder : order) {
        if (folder->empty())
            continue;
        std::filesystem::path candidate = *folder / fileName;
        // An unreadable folder counts as one without the file: the search goes on.
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate;
    }
    return folders.besideProgram / fileName;
}

} // namespace tavrin::platform
