// GBK texts to and from Qt's Unicode strings, at the edge of the widgets.
#pragma once

#include "text/encoding.h"
#include "text/gbk_text.h"

#include <QFile>
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

// File names are not GBK texts: on disk they are bytes in the locale's encoding (UTF-8 here).
inline QString pathToQString(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

inline std::filesystem::path pathFromQString(const QString& name)
{
    return std::filesystem::path(QFile::encodeName(name).toStdString());
}

} // namespace tavrin::platform
