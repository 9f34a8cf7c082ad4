// What a library operation did, in the program's own words for the status line (GBK). The
// window shows them; the command line prints them.
#pragma once

#include "library/url_library.h"
#include "text/gbk_text.h"

#include <filesystem>
#include <string_view>

namespace tavrin::library {

// "导入：N个网址，共：M个网址" for a load ("导入：N个网址，跳过K个，共：M个网址" when templates were
// skipped), or why the file was refused ("导入失败：…：FILE"; for broken JSON with the line and
// column where it breaks).
// Nothing useful for a stopped load; callers do not show one.
[[nodiscard]] text::Text loadMessage(const LoadResult& result);
// "插入1个网址，共：N个网址".
[[nodiscard]] text::Text insertedMessage(int total);
// "删除1个网址，共：N个网址".
[[nodiscard]] text::Text deletedMessage(int total);
// "清空了共：N个网址".
[[nodiscard]] text::Text clearedMessage(int total);
// "已保存N个网址到：FILE".
[[nodiscard]] text::Text savedMessage(int rows, const std::filesystem::path& path);
// "保存失败，原文件未改动：FILE（reason）".
[[nodiscard]] text::Text saveFailedMessage(const std::filesystem::path& path, std::string_view failure);

} // namespace tavrin::library
