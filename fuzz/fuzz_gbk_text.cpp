// The GBK byte-string helpers and the GBK <-> UTF-8 conversion.
//
// Searching, replacing and splitting are compared with a slow model written from the rules in
// gbk_text.h: character boundaries are walked one by one and every boundary is tried in turn.
// The helpers must agree with it, and never start a match, a piece or a cut inside a
// double-byte character.
//
// Input: byte 0 holds options (bit 0: ASCII-insensitive search), byte 1 the 1-based start of
// the search, byte 2 the byte limit for leftBytes; then the needle, 0xFF, the replacement, 0xFF
// and the rest is the text. 0xFF is never part of a GBK character, so it makes a natural
// separator; the text itself may hold it.
#include "fuzz_check.h"

#include "text/encoding.h"
#include "text/gbk_text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using tavrin::text::CaseMode;
using tavrin::text::Text;
namespace text = tavrin::text;

bool modelIsLead(unsigned char byte)
{
    return byte >= 0x81 && byte <= 0xFE;
}

bool modelIsTrail(unsigned char byte)
{
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFE);
}

unsigned char byteAt(std::string_view text, std::size_t at)
{
    return static_cast<unsigned char>(text[at]);
}

// For every offset 0..size: whether a character starts there (size itself counts).
std::vector<bool> boundaries(std::string_view text)
{
    std::vector<bool> boundary(text.size() + 1, false);
    std::size_t at = 0;
    while (at < text.size()) {
        boundary[at] = true;
        const bool pair =
            modelIsLead(byteAt(text, at)) && at + 1 < text.size() && modelIsTrail(byteAt(text, at + 1));
        at += pair ? 2 : 1;
    }
    boundary[text.size()] = true;
    return boundary;
}

// A single-byte character starts at `at`.
bool isSingle(const std::vector<bool>& boundary, std::size_t at)
{
    return boundary[at] && boundary[at + 1];
}

unsigned char fold(unsigned char byte)
{
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

bool modelMatchAt(std::string_view haystack, const std::vector<bool>& boundary, std::size_t at,
                  std::string_view needle, CaseMode mode)
{
    for (std::size_t i = 0; i < needle.size(); ++i) {
        const unsigned char h = byteAt(haystack, at + i);
        const unsigned char n = byteAt(needle, i);
        const bool folds = mode == CaseMode::AsciiInsensitive && isSingle(boundary, at + i);
        if (folds ? fold(h) != fold(n) : h != n)
            return false;
    }
    return true;
}

// Zero-based offset of the first match starting on a boundary at or after `from`, or npos.
std::size_t modelFindFrom(std::string_view haystack, const std::vector<bool>& boundary,
                          std::string_view needle, std::size_t from, CaseMode mode)
{
    for (std::size_t at = from; at + needle.size() <= haystack.size(); ++at) {
        if (boundary[at] && modelMatchAt(haystack, boundary, at, needle, mode))
            return at;
    }
    return std::string_view::npos;
}

long long modelFind(std::string_view haystack, std::string_view needle, long long start, CaseMode mode)
{
    if (needle.empty() || start < 1 || static_cast<unsigned long long>(start) > haystack.size())
        return -1;
    const std::size_t at =
        modelFindFrom(haystack, boundaries(haystack), needle, static_cast<std::size_t>(start - 1), mode);
    return at == std::string_view::npos ? -1 : static_cast<long long>(at) + 1;
}

// The offsets of the non-overlapping matches, left to right.
std::vector<std::size_t> modelMatches(std::string_view text, std::string_view needle, CaseMode mode)
{
    std::vector<std::size_t> matches;
    if (needle.empty())
        return matches;
    const std::vector<bool> boundary = boundaries(text);
    for (std::size_t at = modelFindFrom(text, boundary, needle, 0, mode); at != std::string_view::npos;
         at = modelFindFrom(text, boundary, needle, at + needle.size(), mode))
        matches.push_back(at);
    return matches;
}

Text modelReplaceAll(std::string_view text, std::string_view from, std::string_view to, CaseMode mode)
{
    Text result;
    std::size_t copied = 0;
    for (const std::size_t at : modelMatches(text, from, mode)) {
        result.append(text.substr(copied, at - copied));
        result.append(to);
        copied = at + from.size();
    }
    result.append(text.substr(copied));
    return result;
}

std::vector<Text> modelSplit(std::string_view text, std::string_view separator)
{
    std::vector<Text> pieces;
    if (text.empty())
        return pieces;
    if (separator.empty())
        return {Text(text)};
    std::size_t pieceStart = 0;
    for (const std::size_t at : modelMatches(text, separator, CaseMode::Sensitive)) {
        pieces.emplace_back(text.substr(pieceStart, at - pieceStart));
        pieceStart = at + separator.size();
    }
    if (pieceStart < text.size())
        pieces.emplace_back(text.substr(pieceStart));
    return pieces;
}

// The needle ends on the first byte of a double-byte character it does not hold whole; such a
// needle can match half of a character in the text.
bool endsInLoneLead(std::string_view needle)
{
    const std::vector<bool> boundary = boundaries(needle);
    return !needle.empty() && boundary[needle.size() - 1] && modelIsLead(byteAt(needle, needle.size() - 1));
}

std::size_t countOf(std::string_view text, std::string_view what)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos;
         at = text.find(what, at + what.size()))
        ++count;
    return count;
}

void checkSearches(std::string_view haystack, std::string_view needle, std::string_view replacement,
                   long long start, CaseMode mode)
{
    const std::vector<bool> boundary = boundaries(haystack);

    // charLength walks the same boundaries as the model.
    for (std::size_t at = 0; at < haystack.size(); ++at) {
        if (boundary[at])
            TAVRIN_FUZZ_CHECK(text::charLength(haystack, at) == (boundary[at + 1] ? 1u : 2u));
    }
    TAVRIN_FUZZ_CHECK(text::charLength(haystack, haystack.size()) == 0);

    const long long found = text::find(haystack, needle, start, mode);
    TAVRIN_FUZZ_CHECK(found == modelFind(haystack, needle, start, mode));
    if (found > 0) {
        const auto at = static_cast<std::size_t>(found - 1);
        TAVRIN_FUZZ_CHECK(boundary[at]);
        if (!endsInLoneLead(needle))
            TAVRIN_FUZZ_CHECK(boundary[at + needle.size()]);
    }

    const Text replaced = text::replaceAll(haystack, needle, replacement, mode);
    TAVRIN_FUZZ_CHECK(replaced == modelReplaceAll(haystack, needle, replacement, mode));
    // Replacing a text by itself changes nothing.
    if (mode == CaseMode::Sensitive)
        TAVRIN_FUZZ_CHECK(text::replaceAll(haystack, needle, needle) == haystack);

    const std::vector<Text> pieces = text::split(haystack, needle);
    TAVRIN_FUZZ_CHECK(pieces == modelSplit(haystack, needle));
    // Joining the pieces gives the text back, less a trailing separator.
    if (!needle.empty()) {
        Text joined;
        for (std::size_t i = 0; i < pieces.size(); ++i)
            joined += (i == 0 ? "" : Text(needle)) + pieces[i];
        const bool droppedTrailing = joined.size() < haystack.size();
        TAVRIN_FUZZ_CHECK(joined + (droppedTrailing ? Text(needle) : Text()) == haystack);
    }
}

void checkCaseAndCuts(std::string_view haystack, std::size_t limit)
{
    const std::vector<bool> boundary = boundaries(haystack);

    const Text lower = text::asciiLower(haystack);
    const Text upper = text::asciiUpper(haystack);
    TAVRIN_FUZZ_CHECK(lower.size() == haystack.size() && upper.size() == haystack.size());
    TAVRIN_FUZZ_CHECK(text::asciiLower(upper) == lower && text::asciiUpper(lower) == upper);
    for (std::size_t at = 0; at < haystack.size(); ++at) {
        const unsigned char original = byteAt(haystack, at);
        // Only letters standing as characters of their own change; the case of a letter never
        // changes how the text pairs into characters.
        if (!isSingle(boundary, at))
            TAVRIN_FUZZ_CHECK(byteAt(lower, at) == original && byteAt(upper, at) == original);
        else
            TAVRIN_FUZZ_CHECK(byteAt(lower, at) == fold(original));
    }
    TAVRIN_FUZZ_CHECK(boundaries(lower) == boundary && boundaries(upper) == boundary);

    // The longest prefix within the limit that ends between characters.
    const Text left = text::leftBytes(haystack, limit);
    TAVRIN_FUZZ_CHECK(left.size() <= limit && haystack.substr(0, left.size()) == left);
    TAVRIN_FUZZ_CHECK(boundary[left.size()]);
    for (std::size_t at = left.size() + 1; at <= haystack.size() && at <= limit; ++at)
        TAVRIN_FUZZ_CHECK(!boundary[at]);

    const std::string_view beforeNul = text::untilNul(haystack);
    TAVRIN_FUZZ_CHECK(beforeNul.find('\0') == std::string_view::npos);
    TAVRIN_FUZZ_CHECK(beforeNul.size() == haystack.size() || haystack[beforeNul.size()] == '\0');
}

void checkEncoding(std::string_view bytes, std::size_t shift)
{
    // Any bytes read as GBK give valid UTF-8, and valid GBK comes back unchanged; a character
    // that does not convert shows as U+FFFD.
    const std::string utf8 = text::gbkToUtf8(bytes);
    TAVRIN_FUZZ_CHECK(tavrin::fuzz::isValidUtf8(utf8));
    if (utf8.find("\xEF\xBF\xBD") == std::string::npos)
        TAVRIN_FUZZ_CHECK(text::utf8ToGbk(utf8) == bytes);

    // The conversion works through the text in windows (4 KiB of GBK; 1 Ki wide characters of
    // UTF-8); a character cut by a window border converts as if it were whole. ASCII padding
    // puts the border inside the fuzzed bytes.
    const std::string gbkPadding(4096 - shift, 'a');
    TAVRIN_FUZZ_CHECK(text::gbkToUtf8(gbkPadding + std::string(bytes)) == gbkPadding + utf8);

    // Any bytes read as UTF-8 give GBK that reads back as the same UTF-8 when nothing was
    // replaced by '?'.
    const std::string gbk = text::utf8ToGbk(bytes);
    if (tavrin::fuzz::isValidUtf8(bytes) && countOf(gbk, "?") == countOf(bytes, "?"))
        TAVRIN_FUZZ_CHECK(text::gbkToUtf8(gbk) == bytes);
    const std::string utf8Padding(1024 - shift, 'a');
    TAVRIN_FUZZ_CHECK(text::utf8ToGbk(utf8Padding + std::string(bytes)) == utf8Padding + gbk);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.size() < 3)
        return 0;
    const CaseMode mode = (byteAt(input, 0) & 1) != 0 ? CaseMode::AsciiInsensitive : CaseMode::Sensitive;
    const long long start = byteAt(input, 1);
    const std::size_t limit = byteAt(input, 2);
    std::string_view rest = input.substr(3);
    const std::size_t needleEnd = std::min(rest.find('\xFF'), rest.size());
    const std::string_view needle = rest.substr(0, needleEnd);
    rest.remove_prefix(std::min(needleEnd + 1, rest.size()));
    const std::size_t replacementEnd = std::min(rest.find('\xFF'), rest.size());
    const std::string_view replacement = rest.substr(0, replacementEnd);
    rest.remove_prefix(std::min(replacementEnd + 1, rest.size()));
    const std::string_view haystack = rest;

    checkSearches(haystack, needle, replacement, start, mode);
    checkCaseAndCuts(haystack, limit);
    checkEncoding(haystack, limit % 8);
    return 0;
}
