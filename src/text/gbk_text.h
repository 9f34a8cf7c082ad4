// Byte-string helpers for GBK text.
//
// Every text inside the program is a byte string in the GBK code page. Positions are 1-based
// byte positions and a search that finds nothing gives -1. Searches, replacements and splits
// step over double-byte characters as units: a byte in 0x81..0xFE is a lead byte and forms one
// character with the byte after it when that byte is a GBK trail byte (0x40..0x7E or
// 0x80..0xFE); otherwise, and at the very end of the text, a lead byte is a character of its
// own, so a broken character before CR LF never swallows the line break. A match never starts
// on the second byte of a double-byte character.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavrin::text {

// A GBK byte string. The alias documents intent: never treat it as UTF-8.
using Text = std::string;

enum class CaseMode
{
    Sensitive,
    // ASCII letters A-Z and a-z compare equal; every other byte, and both bytes of a
    // double-byte character, compare exactly.
    AsciiInsensitive,
};

[[nodiscard]] constexpr bool isLeadByte(unsigned char byte) noexcept
{
    return byte >= 0x81 && byte <= 0xFE;
}

// Length in bytes of the character that starts at zero-based offset `at` (1 or 2).
[[nodiscard]] std::size_t charLength(std::string_view text, std::size_t at) noexcept;

// 1-based position of the first occurrence of `needle` in `haystack` that starts on a
// character boundary at or after position `start`; -1 when there is none, when `needle` is
// empty, or when `start` is below 1 or beyond the text.
[[nodiscard]] long long find(std::string_view haystack, std::string_view needle, long long start = 1,
                             CaseMode mode = CaseMode::Sensitive);

// Every non-overlapping occurrence of `from`, scanning left to right on character boundaries,
// replaced by `to`. An empty `from` leaves the text unchanged.
[[nodiscard]] Text replaceAll(std::string_view text, std::string_view from, std::string_view to,
                              CaseMode mode = CaseMode::Sensitive);

// Splits at every occurrence of `separator` (character-aligned). Every piece between two
// separators is kept, empty ones included; the text after the last separator is kept only when
// it is not empty, so a trailing separator adds no piece. An empty text gives no pieces.
[[nodiscard]] std::vector<Text> split(std::string_view text, std::string_view separator);

// ASCII letters folded; every other byte (double-byte characters included) left as it is.
[[nodiscard]] Text asciiLower(std::string_view text);
[[nodiscard]] Text asciiUpper(std::string_view text);

// True when the two are the same but for the case of ASCII letters (byte by byte: for field
// names and host names, which are ASCII).
[[nodiscard]] bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept;
[[nodiscard]] bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) noexcept;

// The text of a byte buffer: everything before the first NUL byte.
[[nodiscard]] std::string_view untilNul(std::string_view bytes) noexcept;

// At most `limit` bytes from the start, never ending on the first byte of a double-byte
// character.
[[nodiscard]] Text leftBytes(std::string_view text, std::size_t limit);

// The decimal text of an integer ("0", "-12", "100000").
[[nodiscard]] Text decimal(long long value);

} // namespace tavrin::text
