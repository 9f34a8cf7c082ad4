#include "base/user_data_home.h"

#include <cstdlib>

namespace tavrin::base {

std::filesystem::path userDataHome()
{
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        return xdg;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".local" / "share";
    return {};
}

} // namespace tavrin::base
