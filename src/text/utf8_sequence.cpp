#include "text/utf8_sequence.h"

namespace tavrin::text {

Utf8Prefix utf8Prefix(std::string_view text) noexcept
{
    const auto first = static_cast<unsigned char>(text[0]);
    if (first < 0x80)
        return {1, 1};
    std::size_t needed = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        needed = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        needed = 3;
        if (first == 0xE0)
            secondLow = 0xA0; // no overlong forms
        else if (first == 0xED)
            secondHigh = 0x9F; // no surrogates
    } else if (first >= 0xF0 && first <= 0xF4) {
        needed = 4;
        if (first == 0xF0)
            secondLow = 0x90;
        else if (first == 0xF4)
            secondHigh = 0x8F; // nothing past U+10FFFF
    } else {
        return {0, 0};
    }
    std::size_t valid = 1;
    while (valid < needed && valid < text.size()) {
        const auto byte = static_cast<unsigned char>(text[valid]);
        const unsigned char low = valid == 1 ? secondLow : 0x80;
        const unsigned char high = valid == 1 ? secondHigh : 0xBF;
        if (byte < low || byte > high)
            break;
        ++valid;
    }
    return {valid, needed};
}

} // namespace tavrin::text
