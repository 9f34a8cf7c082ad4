// The shape of UTF-8 byte sequences, for code that checks or repairs UTF-8 by hand.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin::text {

// How much of a UTF-8 sequence starts `text`: `valid` bytes of it are well-formed so far (at
// most `needed`, the length the first byte announces). A first byte that begins no sequence
// gives {0, 0}; overlong forms, surrogates and values past U+10FFFF are not well-formed.
struct Utf8Prefix
{
    std::size_t valid;
    std::size_t needed;
};

// `text` must not be empty.
[[nodiscard]] Utf8Prefix utf8Prefix(std::string_view text) noexcept;

// Length of the well-formed UTF-8 sequence at the start of `text`, or 0 when it is not one.
[[nodiscard]] inline std::size_t wellFormedUtf8Length(std::string_view text) noexcept
{
    if (text.empty())
        return 0;
    const Utf8Prefix prefix = utf8Prefix(text);
    return prefix.needed != 0 && prefix.valid == prefix.needed ? prefix.needed : 0;
}

// The character at `at` in `utf8`, advancing `at` past it. A byte that does not start a
// well-formed sequence reads as one '?' (how the program's GBK conversion treats broken UTF-8).
[[nodiscard]] char32_t decodeUtf8Character(std::string_view utf8, std::size_t& at) noexcept;

// The code points of UTF-8 text; nothing when it is not well-formed throughout.
[[nodiscard]] std::optional<std::u32string> utf8CodePoints(std::string_view text);

// Appends `codePoint` as UTF-8. The caller gives a Unicode scalar value (at most U+10FFFF and no
// surrogate); anything else is appended as U+FFFD, so the result stays well-formed.
void appendUtf8(std::string& out, char32_t codePoint);

} // namespace tavrin::text
