// What GB18030 adds to GBK, for decoding it from tables (code_page_table.h): its four-byte
// sequences, and the two-byte sequences it reads otherwise than Windows' GBK (code page 936).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tavrin::text {

// The character the four-byte sequence at the start of `bytes` stands for; nothing when the
// bytes are not one, or one that stands for no character.
[[nodiscard]] std::optional<char32_t> gb18030FourByte(std::string_view bytes) noexcept;

struct Gb18030Pair
{
    std::uint16_t bytes; // lead << 8 | trail
    char32_t value;
};

// The two-byte sequences whose GB18030 character is not the one code page 936 gives.
[[nodiscard]] std::span<const Gb18030Pair> gb18030PairsBeyondCodePage936() noexcept;

} // namespace tavrin::text
