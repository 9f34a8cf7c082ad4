// GBK <-> UTF-8 conversion, used only at the edges of the program (widgets, the terminal,
// file names handed to the operating system).
#pragma once

#include <string>
#include <string_view>

namespace tavrin::text {

// Converts GBK bytes to UTF-8. Bytes that are not valid GBK become U+FFFD, so the result is
// always valid UTF-8; display only, never store the result back.
[[nodiscard]] std::string gbkToUtf8(std::string_view gbk);

// Converts UTF-8 to GBK. Characters that GBK cannot express, and invalid UTF-8, become '?'.
[[nodiscard]] std::string utf8ToGbk(std::string_view utf8);

} // namespace tavrin::text
