#include "text/punycode.h"

#include "text/gbk_text.h"
#include "text/utf8_sequence.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace tavrin::text {

namespace {

// The parameters RFC 3492 fixes for host names.
constexpr std::uint32_t kBase = 36;
constexpr std::uint32_t kTMin = 1;
constexpr std::uint32_t kTMax = 26;
constexpr std::uint32_t kSkew = 38;
constexpr std::uint32_t kDamp = 700;
constexpr std::uint32_t kInitialBias = 72;
constexpr char32_t kInitialN = 0x80;
constexpr char kDelimiter = '-';
constexpr std::uint32_t kMaxCount = std::numeric_limits<std::uint32_t>::max();
constexpr char32_t kLastCodePoint = 0x10FFFF;

bool isScalarValue(char32_t point) noexcept
{
    return point <= kLastCodePoint && !(point >= 0xD800 && point <= 0xDFFF);
}

// The threshold of the k-th digit of a number.
std::uint32_t threshold(std::uint32_t k, std::uint32_t bias) noexcept
{
    if (k <= bias)
        return kTMin;
    if (k >= bias + kTMax)
        return kTMax;
    return k - bias;
}

std::uint32_t adaptBias(std::uint32_t delta, std::uint32_t points, bool first) noexcept
{
    delta = first ? delta / kDamp : delta / 2;
    delta += delta / points;
    std::uint32_t k = 0;
    while (delta > ((kBase - kTMin) * kTMax) / 2) {
        delta /= kBase - kTMin;
        k += kBase;
    }
    return k + (kBase - kTMin + 1) * delta / (delta + kSkew);
}

char digitChar(std::uint32_t digit) noexcept
{
    return static_cast<char>(digit < 26 ? 'a' + digit : '0' + (digit - 26));
}

// The value of a digit character, or kBase when it is none.
std::uint32_t digitValue(char c) noexcept
{
    if (c >= 'a' && c <= 'z')
        return static_cast<std::uint32_t>(c - 'a');
    if (c >= 'A' && c <= 'Z')
        return static_cast<std::uint32_t>(c - 'A');
    if (c >= '0' && c <= '9')
        return static_cast<std::uint32_t>(c - '0') + 26;
    return kBase;
}

bool isAscii(std::string_view text) noexcept
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

std::optional<std::string> punycodeEncode(std::u32string_view codePoints)
{
    if (!std::all_of(codePoints.begin(), codePoints.end(), isScalarValue) || codePoints.size() >= kMaxCount)
        return std::nullopt;
    std::string out;
    for (const char32_t point : codePoints) {
        if (point < kInitialN)
            out.push_back(static_cast<char>(point));
    }
    const auto basic = static_cast<std::uint32_t>(out.size());
    if (basic > 0)
        out.push_back(kDelimiter);
    char32_t n = kInitialN;
    std::uint32_t delta = 0;
    std::uint32_t bias = kInitialBias;
    // Each round inserts every occurrence of the smallest code point not written yet; delta
    // counts the insertion positions passed over since the last one written.
    for (std::uint32_t handled = basic; handled < codePoints.size();) {
        char32_t next = kLastCodePoint + 1;
        for (const char32_t point : codePoints) {
            if (point >= n && point < next)
                next = point;
        }
        if (next - n > (kMaxCount - delta) / (handled + 1))
            return std::nullopt;
        delta += (next - n) * (handled + 1);
        n = next;
        for (const char32_t point : codePoints) {
            if (point < n && ++delta == 0)
                return std::nullopt;
            if (point != n)
                continue;
            std::uint32_t q = delta;
            for (std::uint32_t k = kBase;; k += kBase) {
                const std::uint32_t t = threshold(k, bias);
                if (q < t)
                    break;
                out.push_back(digitChar(t + (q - t) % (kBase - t)));
                q = (q - t) / (kBase - t);
            }
            out.push_back(digitChar(q));
            bias = adaptBias(delta, handled + 1, handled == basic);
            delta = 0;
            ++handled;
        }
        ++delta;
        ++n;
    }
    return out;
}

std::optional<std::u32string> punycodeDecode(std::string_view encoded)
{
    if (!isAscii(encoded) || encoded.size() >= kMaxCount)
        return std::nullopt;
    // Everything before the last delimiter is the basic code points, as they are.
    const std::size_t delimiter = encoded.rfind(kDelimiter);
    const std::size_t basic = delimiter == std::string_view::npos ? 0 : delimiter;
    std::u32string out(encoded.begin(), encoded.begin() + static_cast<std::ptrdiff_t>(basic));
    std::size_t at = basic > 0 ? basic + 1 : 0;
    char32_t n = kInitialN;
    std::uint32_t i = 0;
    std::uint32_t bias = kInitialBias;
    while (at < encoded.size()) {
        // A variable-length number: where the next code point goes, counted over every
        // position of every code point from n upwards.
        const std::uint32_t oldI = i;
        std::uint32_t weight = 1;
        for (std::uint32_t k = kBase;; k += kBase) {
            if (at >= encoded.size())
                return std::nullopt;
            const std::uint32_t digit = digitValue(encoded[at++]);
            if (digit >= kBase || digit > (kMaxCount - i) / weight)
                return std::nullopt;
            i += digit * weight;
            const std::uint32_t t = threshold(k, bias);
            if (digit < t)
                break;
            if (weight > kMaxCount / (kBase - t))
                return std::nullopt;
            weight *= kBase - t;
        }
        const auto length = static_cast<std::uint32_t>(out.size() + 1);
        bias = adaptBias(i - oldI, length, oldI == 0);
        if (i / length > kLastCodePoint - n)
            return std::nullopt;
        n += i / length;
        i %= length;
        if (!isScalarValue(n))
            return std::nullopt;
        out.insert(out.begin() + i, n);
        ++i;
    }
    return out;
}

std::optional<std::string> asciiLabel(std::string_view utf8Label)
{
    if (isAscii(utf8Label))
        return std::string(utf8Label);
    const std::optional<std::u32string> points = utf8CodePoints(utf8Label);
    if (!points)
        return std::nullopt;
    const std::optional<std::string> encoded = punycodeEncode(*points);
    if (!encoded)
        return std::nullopt;
    return std::string(kAcePrefix) + *encoded;
}

std::optional<std::string> unicodeLabel(std::string_view label)
{
    if (!startsWithIgnoringAsciiCase(label, kAcePrefix))
        return std::string(label);
    const std::optional<std::u32string> points = punycodeDecode(label.substr(kAcePrefix.size()));
    if (!points)
        return std::nullopt;
    std::string out;
    for (const char32_t point : *points)
        appendUtf8(out, point);
    return out;
}

} // namespace tavrin::text
