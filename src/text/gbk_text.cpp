#include "text/gbk_text.h"

#include <algorithm>

namespace tavrin::text {

namespace {

constexpr std::size_t npos = std::string_view::npos;

// A lead byte only pairs with a byte that GBK allows in second position. Anything else (CR, LF,
// most punctuation) stays a character of its own, so a damaged lead byte in front of a line
// break cannot swallow the break.
constexpr bool isTrailByte(unsigned char byte) noexcept
{
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFE);
}

constexpr bool isAsciiUpper(unsigned char byte) noexcept
{
    return byte >= 'A' && byte <= 'Z';
}

constexpr bool isAsciiLower(unsigned char byte) noexcept
{
    return byte >= 'a' && byte <= 'z';
}

constexpr unsigned char foldAscii(unsigned char byte) noexcept
{
    return isAsciiUpper(byte) ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

unsigned char byteAt(std::string_view text, std::size_t at) noexcept
{
    return static_cast<unsigned char>(text[at]);
}

// Compares `needle` with the haystack bytes at `at` (which must leave room for the needle),
// folding ASCII letters only where the haystack has a single-byte character: the second byte
// of a double-byte character may look like an ASCII letter but is not one.
bool equalsFoldedAt(std::string_view haystack, std::size_t at, std::string_view needle) noexcept
{
    std::size_t offset = 0;
    while (offset < needle.size()) {
        const std::size_t length = charLength(haystack, at + offset);
        if (length == 2) {
            if (haystack[at + offset] != needle[offset])
                return false;
            if (offset + 1 < needle.size() && haystack[at + offset + 1] != needle[offset + 1])
                return false;
        } else if (foldAscii(byteAt(haystack, at + offset)) != foldAscii(byteAt(needle, offset))) {
            return false;
        }
        offset += length;
    }
    return true;
}

// Walks a text's character boundaries forward. Boundaries depend on everything before them,
// so one cursor is kept per scan and only ever moves ahead; this keeps a whole scan linear.
class BoundaryCursor
{
public:
    explicit BoundaryCursor(std::string_view text) noexcept
        : text_(text)
    {}

    // Moves to the first boundary at or after `target` and returns it.
    std::size_t advanceTo(std::size_t target) noexcept
    {
        while (position_ < target && position_ < text_.size())
            position_ += charLength(text_, position_);
        return position_;
    }

private:
    std::string_view text_;
    std::size_t position_ = 0;
};

// Zero-based offset of the first match of a non-empty `needle` that starts on a character
// boundary at or after `from`, or npos.
std::size_t findAligned(std::string_view haystack, std::string_view needle, std::size_t from,
                        BoundaryCursor& cursor, CaseMode mode)
{
    if (mode == CaseMode::Sensitive) {
        // Let the library search for byte matches and reject the ones that start inside a
        // character; the next byte search resumes at the boundary that was passed.
        std::size_t candidate = haystack.find(needle, from);
        while (candidate != npos) {
            const std::size_t boundary = cursor.advanceTo(candidate);
            if (boundary == candidate)
                return candidate;
            candidate = haystack.find(needle, boundary);
        }
        return npos;
    }

    if (needle.size() > haystack.size())
        return npos;
    const std::size_t last = haystack.size() - needle.size();
    for (std::size_t at = cursor.advanceTo(from); at <= last; at = cursor.advanceTo(at + 1)) {
        if (equalsFoldedAt(haystack, at, needle))
            return at;
    }
    return npos;
}

// Folds the single-byte characters with `fold`, copying double-byte characters untouched.
template <typename Fold> Text foldSingleBytes(std::string_view text, Fold fold)
{
    Text result(text);
    for (std::size_t at = 0; at < result.size(); at += charLength(result, at)) {
        if (charLength(result, at) == 1)
            result[at] = static_cast<char>(fold(byteAt(result, at)));
    }
    return result;
}

} // namespace

std::size_t charLength(std::string_view text, std::size_t at) noexcept
{
    if (at >= text.size())
        return 0;
    if (isLeadByte(byteAt(text, at)) && at + 1 < text.size() && isTrailByte(byteAt(text, at + 1)))
        return 2;
    return 1;
}

long long find(std::string_view haystack, std::string_view needle, long long start, CaseMode mode)
{
    if (needle.empty() || start < 1 || static_cast<unsigned long long>(start) > haystack.size())
        return -1;
    BoundaryCursor cursor(haystack);
    const std::size_t at = findAligned(haystack, needle, static_cast<std::size_t>(start - 1), cursor, mode);
    return at == npos ? -1 : static_cast<long long>(at) + 1;
}

Text replaceAll(std::string_view text, std::string_view from, std::string_view to, CaseMode mode)
{
    if (from.empty())
        return Text(text);
    Text result;
    result.reserve(text.size());
    BoundaryCursor cursor(text);
    std::size_t copied = 0;
    for (std::size_t at = findAligned(text, from, 0, cursor, mode); at != npos;
         at = findAligned(text, from, copied, cursor, mode)) {
        result.append(text.substr(copied, at - copied));
        result.append(to);
        copied = at + from.size();
    }
    result.append(text.substr(copied));
    return result;
}

std::vector<Text> split(std::string_view text, std::string_view separator)
{
    std::vector<Text> pieces;
    if (text.empty())
        return pieces;
    if (separator.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    BoundaryCursor cursor(text);
    std::size_t pieceStart = 0;
    for (std::size_t at = findAligned(text, separator, 0, cursor, CaseMode::Sensitive); at != npos;
         at = findAligned(text, separator, pieceStart, cursor, CaseMode::Sensitive)) {
        pieces.emplace_back(text.substr(pieceStart, at - pieceStart));
        pieceStart = at + separator.size();
    }
    if (pieceStart < text.size())
        pieces.emplace_back(text.substr(pieceStart));
    return pieces;
}

Text asciiLower(std::string_view text)
{
    return foldSingleBytes(text, [](unsigned char byte) { return foldAscii(byte); });
}

Text asciiUpper(std::string_view text)
{
    return foldSingleBytes(text, [](unsigned char byte) {
        return isAsciiLower(byte) ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
    });
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldAscii(static_cast<unsigned char>(a[i])) != foldAscii(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) noexcept
{
    return text.size() >= prefix.size() && equalIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

std::string_view untilNul(std::string_view bytes) noexcept
{
    return bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
}

Text leftBytes(std::string_view text, std::size_t limit)
{
    if (limit >= text.size())
        return Text(text);
    // The character that straddles the limit is dropped whole.
    std::size_t end = 0;
    while (end + charLength(text, end) <= limit)
        end += charLength(text, end);
    return Text(text.substr(0, end));
}

Text decimal(long long value)
{
    return std::to_string(value);
}

} // namespace tavrin::text
