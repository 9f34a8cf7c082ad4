// Whether the window has a desktop to show on, asked before Qt is started: on X11 and Wayland
// systems a session names its display in the environment, and without one Qt would end the
// program with a message about plugins that tells the user nothing.
#pragma once

namespace tavrin::app {

// On POSIX: DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM is set. On Windows a desktop is always
// there.
[[nodiscard]] bool hasDesktopSession();

} // namespace tavrin::app
