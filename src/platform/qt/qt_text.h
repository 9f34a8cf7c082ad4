// GBK texts to and from Qt's Unicode strings, at the edge of the widgets.
#pragma once

#include "text/encoding.h"
#include "text/gbk_text.h"

#include <QString>

namespace tavrin::platform {

inline QString toQString(const text::Text& gbk)
{
    const std::string utf8 = text::gbkToUtf8(gbk);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline text::Text fromQString(const QString& value)
{
    return text::utf8ToGbk(value.toStdString());
}

} // namespace tavrin::platform
