// GBK texts to and from Qt's Unicode strings, at the edge of the widgets.
#pragma once

#include "base/utf8_path.h"
#include "text/encoding.h"
#include "text/gbk_text.h"

#include <QString>

#include <filesystem>

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

// File names are not GBK texts: they go through UTF-8 (the bytes on disk on Linux; on Windows
// the UTF-16 names, which the "ANSI" code page of QFile::encodeName could not all hold).
inline QString pathToQString(const std::filesystem::path& path)
{
    const std::string utf8 = base::utf8FromPath(path);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline std::filesystem::path pathFromQString(const QString& name)
{
    return base::pathFromUtf8(name.toStdString());
}

} // namespace tavrin::platform
