#include "base/private_temp_folder.h"

#include <string>
#include <system_error>

#include <stdlib.h>

namespace tavrin::base {

std::filesystem::path makePrivateTempFolder(std::string_view prefix)
{
    std::error_code error;
    const std::filesystem::path under = std::filesystem::temp_directory_path(error);
    if (error)
        return {};
    // mkdtemp makes the folder with mode 0700 and never takes a name that exists.
    std::string pattern = (under / (std::string(prefix) + "XXXXXX")).string();
    return ::mkdtemp(pattern.data()) ? std::filesystem::path(pattern) : std::filesystem::path();
}

} // namespace tavrin::base
