#include "app/desktop_session.h"

#include <cstdlib>

namespace tavrin::app {

bool hasDesktopSession()
{
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

} // namespace tavrin::app
