#include "text/number_text.h"

#include "text/classic_number.h"
#include "text/gbk_text.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace tavrin::text {

namespace {

constexpr unsigned char kFullWidthRow = 0xA3;   // GBK row of full-width ASCII look-alikes
constexpr unsigned char kFullWidthSpace = 0xA1; // 0xA1 0xA1 is the full-width space
constexpr unsigned char kFullWidthFirst = 0xA1;
constexpr unsigned char kFullWidthOffset = 0x80; // 0xA3 0xB1 ("１") - 0x80 = '1'

bool isBlank(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

bool canAppearInNumber(char c) noexcept
{
    return isBlank(c) || isDigit(c) || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

// The leading part of `text` with full-width characters folded to ASCII. Folding stops at the
// first character that cannot belong to a number or the blanks before it, so a long text
// costs no more than its first few characters.
std::string foldedNumberPrefix(std::string_view text)
{
    std::string folded;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = charLength(text, at);
        char c = text[at];
        if (length == 2) {
            const auto lead = static_cast<unsigned char>(text[at]);
            const auto trail = static_cast<unsigned char>(text[at + 1]);
            if (lead == kFullWidthRow && trail >= kFullWidthFirst)
                c = static_cast<char>(trail - kFullWidthOffset);
            else if (lead == kFullWidthSpace && trail == kFullWidthSpace)
                c = ' ';
            else
                break;
        }
        if (!canAppearInNumber(c))
            break;
        folded.push_back(c);
        at += length;
    }
    return folded;
}

std::size_t skipDigits(std::string_view text, std::size_t at) noexcept
{
    while (at < text.size() && isDigit(text[at]))
        ++at;
    return at;
}

// Length of the longest decimal number at the start of `text` (0 when there is none).
std::size_t numberLength(std::string_view text) noexcept
{
    std::size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        ++at;
    const std::size_t integerEnd = skipDigits(text, at);
    bool hasDigits = integerEnd > at;
    at = integerEnd;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fractionEnd = skipDigits(text, at + 1);
        hasDigits = hasDigits || fractionEnd > at + 1;
        at = fractionEnd;
    }
    if (!hasDigits)
        return 0;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t exponent = at + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-'))
            ++exponent;
        const std::size_t exponentEnd = skipDigits(text, exponent);
        if (exponentEnd > exponent)
            at = exponentEnd;
    }
    return at;
}

} // namespace

double numberFromText(std::string_view text)
{
    const std::string folded = foldedNumberPrefix(text);
    std::size_t start = 0;
    while (start < folded.size() && isBlank(folded[start]))
        ++start;
    const std::string number = folded.substr(start, numberLength(std::string_view(folded).substr(start)));
    if (number.empty())
        return 0.0;
    // The copy is NUL-terminated and holds only a validated number, so nothing else is read.
    return parseClassicNumber(number.c_str());
}

int intFromText(std::string_view text)
{
    const double value = std::trunc(numberFromText(text));
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

bool nearlyEqual(double a, double b) noexcept
{
    // The equality test keeps infinities equal to themselves (their difference is NaN).
    return a == b || std::fabs(a - b) <= kNumberTolerance;
}

bool clearlyGreater(double a, double b) noexcept
{
    return a - b > kNumberTolerance;
}

bool clearlyLess(double a, double b) noexcept
{
    return b - a > kNumberTolerance;
}

} // namespace tavrin::text
