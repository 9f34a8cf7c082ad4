// Numbers read from text: numberFromText, intFromText and the tolerance comparisons.
//
// The input is read twice: as a text typed by a user, and as numbers to write out and read
// back.
#include "fuzz_check.h"

#include "text/gbk_text.h"
#include "text/number_text.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace {

namespace text = tavrin::text;

// Writes the leading run of ASCII characters that full-width forms exist for (digits, signs,
// point, exponent letters, space) in their full-width GBK forms; the rest stays as it is.
std::string widenLeadingNumber(std::string_view input)
{
    constexpr std::string_view kWidened = "0123456789+-.eE ";
    std::string widened;
    std::size_t at = 0;
    for (; at < input.size() && kWidened.find(input[at]) != std::string_view::npos; ++at) {
        if (input[at] == ' ') {
            widened += "\xA1\xA1";
        } else {
            widened += '\xA3';
            widened += static_cast<char>(static_cast<unsigned char>(input[at]) + 0x80);
        }
    }
    widened.append(input.substr(at));
    return widened;
}

bool sameNumber(double a, double b)
{
    return a == b && std::signbit(a) == std::signbit(b);
}

void checkTypedText(std::string_view typed)
{
    const double value = text::numberFromText(typed);
    TAVRIN_FUZZ_CHECK(!std::isnan(value));

    // Full-width digits and signs read like their ASCII forms.
    TAVRIN_FUZZ_CHECK(sameNumber(text::numberFromText(widenLeadingNumber(typed)), value));
    // Leading blanks are skipped.
    TAVRIN_FUZZ_CHECK(sameNumber(text::numberFromText(" \t\r\n" + std::string(typed)), value));
    // Only the beginning of the text counts.
    if (!typed.empty())
        TAVRIN_FUZZ_CHECK(sameNumber(text::numberFromText(std::string(typed) + "x9"), value));

    const int whole = text::intFromText(typed);
    const double truncated = std::trunc(value);
    if (truncated >= std::numeric_limits<int>::max())
        TAVRIN_FUZZ_CHECK(whole == std::numeric_limits<int>::max());
    else if (truncated <= std::numeric_limits<int>::min())
        TAVRIN_FUZZ_CHECK(whole == std::numeric_limits<int>::min());
    else
        TAVRIN_FUZZ_CHECK(whole == static_cast<int>(truncated));
}

void checkComparisons(double a, double b)
{
    // Exactly one of equal, greater and less holds for any two numbers read from text.
    const int holding = static_cast<int>(text::nearlyEqual(a, b)) +
                        static_cast<int>(text::clearlyGreater(a, b)) +
                        static_cast<int>(text::clearlyLess(a, b));
    TAVRIN_FUZZ_CHECK(holding == 1);
    TAVRIN_FUZZ_CHECK(text::clearlyGreater(a, b) == text::clearlyLess(b, a));
    TAVRIN_FUZZ_CHECK(text::nearlyEqual(a, b) == text::nearlyEqual(b, a));
}

void checkWrittenNumbers(FuzzedDataProvider& data)
{
    // The shortest text that names a double reads back as exactly that double, in each of the
    // forms to_chars writes.
    const double number = data.ConsumeFloatingPoint<double>();
    if (std::isfinite(number)) {
        for (const std::chars_format format :
             {std::chars_format::general, std::chars_format::scientific, std::chars_format::fixed}) {
            char buffer[400];
            const std::to_chars_result written =
                std::to_chars(buffer, buffer + sizeof buffer, number, format);
            TAVRIN_FUZZ_CHECK(written.ec == std::errc());
            const std::string_view digits(buffer, static_cast<std::size_t>(written.ptr - buffer));
            TAVRIN_FUZZ_CHECK(sameNumber(text::numberFromText(digits), number));
            TAVRIN_FUZZ_CHECK(sameNumber(text::numberFromText(widenLeadingNumber(digits)), number));
        }
    }

    const int integer = data.ConsumeIntegral<int>();
    TAVRIN_FUZZ_CHECK(text::intFromText(text::decimal(integer)) == integer);
    TAVRIN_FUZZ_CHECK(text::intFromText(widenLeadingNumber(text::decimal(integer))) == integer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkTypedText(input);

    // Two numbers from the two halves of the text.
    const std::size_t half = input.size() / 2;
    checkComparisons(text::numberFromText(input.substr(0, half)), text::numberFromText(input.substr(half)));

    FuzzedDataProvider provider(data, size);
    checkWrittenNumbers(provider);
    return 0;
}
