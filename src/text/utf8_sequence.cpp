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

namespace {

// The code point of the well-formed sequence of `length` bytes at the start of `text`.
char32_t sequenceValue(std::string_view text, std::size_t length) noexcept
{
    // The first byte keeps the bits its length marker leaves; each further byte gives six.
    constexpr unsigned char kFirstBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t point = static_cast<unsigned char>(text[0]) & kFirstBits[length];
    for (std::size_t i = 1; i < length; ++i)
        point = (point << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
    return point;
}

} // namespace

char32_t decodeUtf8Character(std::string_view utf8, std::size_t& at) noexcept
{
    const std::size_t length = wellFormedUtf8Length(utf8.substr(at));
    if (length == 0) {
        ++at;
        return U'?';
    }
    const char32_t value = sequenceValue(utf8.substr(at), length);
    at += length;
    return value;
}

std::optional<std::u32string> utf8CodePoints(std::string_view text)
{
    std::u32string points;
    points.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = wellFormedUtf8Length(text);
        if (length == 0)
            return std::nullopt;
        points.push_back(sequenceValue(text, length));
        text.remove_prefix(length);
    }
    return points;
}

void appendUtf8(std::string& out, char32_t codePoint)
{
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        codePoint = 0xFFFD;
    const auto byte = [](char32_t bits) { return static_cast<char>(bits); };
    if (codePoint < 0x80) {
        out.push_back(byte(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(byte(0xC0 | (codePoint >> 6)));
        out.push_back(byte(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(byte(0xE0 | (codePoint >> 12)));
        out.push_back(byte(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(byte(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(byte(0xF0 | (codePoint >> 18)));
        out.push_back(byte(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(byte(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(byte(0x80 | (codePoint & 0x3F)));
    }
}

} // namespace tavrin::text
