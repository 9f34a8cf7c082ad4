#include "app/desktop_session.h"

namespace tavrin::app {

bool hasDesktopSession()
{
    return true;
}

} // namespace tavrin::app
