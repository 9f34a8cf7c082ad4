// Percent-escapes ("%3A") as URLs and the pages that quote them write them.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace tavrin::text {

// The byte the escape starting at `at` stands for: '%' and two hex digits in either letter case.
// Nothing when there is none there (a '%' of its own, one digit, the end of the text).
[[nodiscard]] std::optional<unsigned char> percentEscapeAt(std::string_view text, std::size_t at) noexcept;

} // namespace tavrin::text
