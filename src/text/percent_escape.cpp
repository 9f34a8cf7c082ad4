#include "text/percent_escape.h"

namespace tavrin::text {

namespace {

int hexValue(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<unsigned char> percentEscapeAt(std::string_view text, std::size_t at) noexcept
{
    if (at + 2 >= text.size() || text[at] != '%')
        return std::nullopt;
    const int high = hexValue(text[at + 1]);
    const int low = hexValue(text[at + 2]);
    if (high < 0 || low < 0)
        return std::nullopt;
    return static_cast<unsigned char>(high * 16 + low);
}

} // namespace tavrin::text
