// The program's icon, drawn rather than shipped: the window, the notification area and the
// installed icon theme files (written at build time by tavrin_icon_writer) all come from this
// one drawing, so they cannot drift apart.
#pragma once

#include <QImage>

namespace tavrin::app {

// The icon as a square image of `size` pixels, transparent around the disc. Needs no
// QGuiApplication: it is plain raster drawing.
[[nodiscard]] QImage programIconImage(int size);

} // namespace tavrin::app
