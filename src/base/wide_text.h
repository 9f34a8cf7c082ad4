// UTF-8 <-> UTF-16 for the Windows build, whose system calls take UTF-16 (wide) strings.
#pragma once

#include <string>
#include <string_view>

namespace tavrin::base {

// Ill-formed input becomes U+FFFD; neither throws but for lack of memory.
[[nodiscard]] std::wstring wideFromUtf8(std::string_view utf8);
[[nodiscard]] std::string utf8FromWide(std::wstring_view wide);

} // namespace tavrin::base
