#include "app/program_icon.h"

#include <QPainter>

namespace tavrin::app {

namespace {

// The drawing is laid out on a 128-pixel square and scaled to the size asked for.
constexpr qreal kDesignSize = 128.0;

} // namespace

QImage programIconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kDesignSize, size / kDesignSize);
    painter.setBrush(QColor(86, 130, 43));
    painter.setPen(QPen(QColor(54, 87, 24), 4));
    painter.drawEllipse(QRectF(6, 6, 116, 116));
    // Two chain links: the program builds links.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 11, Qt::SolidLine, Qt::RoundCap));
    painter.translate(64, 64);
    painter.rotate(-45);
    painter.drawRoundedRect(QRectF(-46, -14, 52, 28), 14, 14);
    painter.drawRoundedRect(QRectF(-6, -14, 52, 28), 14, 14);
    painter.end();
    return image;
}

} // namespace tavrin::app
