// Pages decoded with Windows' code pages, read as tables (code_pages_win.h) so that a broken
// character costs what it costs with glibc's iconv on Linux: one U+FFFD, after which the next
// byte may start a character of its own.
//
// The encodings are those of the web that Windows has a code page for and that read as the GNU
// C library reads them, known by the names the Linux build gives them. What differs, and so
// reads otherwise than on Linux:
//   - Big5 is Windows' code page 950, without the Hong Kong supplement (HKSCS): its characters
//     become U+FFFD, and a dozen signs take Microsoft's forms (0xA145 is U+2027, not U+2022);
//   - EUC-JP is code page 20932, without the three-byte JIS X 0212 characters;
//   - pages in encodings outside the list below (ISO-2022-JP, KOI8-U, ISO-8859-7 and -8, the
//     Macintosh pages, windows-1255 and -1258) count as undeclared, and are read as UTF-8 when
//     they are UTF-8, else as GB18030.
#include "text/charset_decoder.h"

#include "text/code_pages_win.h"
#include "text/utf8_sequence.h"

#include <algorithm>
#include <array>

namespace tavrin::text {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

struct KnownEncoding
{
    std::string_view name; // lower case
    unsigned codePage;
};

// Every name here is one the GNU C library knows too, for the same characters. Sorted by name.
constexpr std::array kKnownEncodings{
    KnownEncoding{"big5-hkscs", 950},    KnownEncoding{"cp1250", 1250},
    KnownEncoding{"cp1251", 1251},       KnownEncoding{"cp1252", 1252},
    KnownEncoding{"cp1253", 1253},       KnownEncoding{"cp1254", 1254},
    KnownEncoding{"cp1256", 1256},       KnownEncoding{"cp1257", 1257},
    KnownEncoding{"cp866", 866},         KnownEncoding{"cp874", 874},
    KnownEncoding{"cp932", 932},         KnownEncoding{"cp949", 949},
    KnownEncoding{"euc-jp", 20932},      KnownEncoding{"gb18030", kGb18030CodePage},
    KnownEncoding{"ibm866", 866},        KnownEncoding{"iso-8859-13", 28603},
    KnownEncoding{"iso-8859-15", 28605}, KnownEncoding{"iso-8859-2", 28592},
    KnownEncoding{"iso-8859-3", 28593},  KnownEncoding{"iso-8859-4", 28594},
    KnownEncoding{"iso-8859-5", 28595},  KnownEncoding{"iso-8859-6", 28596},
    KnownEncoding{"iso-8859-9", 28599},  KnownEncoding{"iso8859-13", 28603},
    KnownEncoding{"iso8859-15", 28605},  KnownEncoding{"iso8859-2", 28592},
    KnownEncoding{"iso8859-3", 28593},   KnownEncoding{"iso8859-4", 28594},
    KnownEncoding{"iso8859-5", 28595},   KnownEncoding{"iso8859-6", 28596},
    KnownEncoding{"iso8859-9", 28599},   KnownEncoding{"iso_8859-13", 28603},
    KnownEncoding{"iso_8859-15", 28605}, KnownEncoding{"iso_8859-2", 28592},
    KnownEncoding{"iso_8859-3", 28593},  KnownEncoding{"iso_8859-4", 28594},
    KnownEncoding{"iso_8859-5", 28595},  KnownEncoding{"iso_8859-6", 28596},
    KnownEncoding{"iso_8859-9", 28599},  KnownEncoding{"koi8-r", 20866},
    KnownEncoding{"windows-1250", 1250}, KnownEncoding{"windows-1251", 1251},
    KnownEncoding{"windows-1253", 1253}, KnownEncoding{"windows-1254", 1254},
    KnownEncoding{"windows-1256", 1256}, KnownEncoding{"windows-1257", 1257},
    KnownEncoding{"windows-874", 874},
};

static_assert(std::is_sorted(kKnownEncodings.begin(), kKnownEncodings.end(),
                             [](const KnownEncoding& a, const KnownEncoding& b) { return a.name < b.name; }),
              "encodings are looked up by binary search");

std::string lowered(std::string_view name)
{
    std::string result(name);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return result;
}

const CodePageTable* tableFor(const std::string& lowerName)
{
    const auto known = std::lower_bound(
        kKnownEncodings.begin(), kKnownEncodings.end(), lowerName,
        [](const KnownEncoding& encoding, const std::string& key) { return encoding.name < key; });
    if (known == kKnownEncodings.end() || known->name != lowerName)
        return nullptr;
    return windowsCodePage(known->codePage);
}

// UTF-16 as iconv reads it: a unit that is no character (a surrogate out of its pair, a byte
// left over at the end) is one U+FFFD, and the next unit starts afresh.
std::string decodeUtf16(std::string_view bytes, bool bigEndian)
{
    const auto unitAt = [&](std::size_t at) {
        const auto first = static_cast<unsigned char>(bytes[at]);
        const auto second = static_cast<unsigned char>(bytes[at + 1]);
        return static_cast<char32_t>(bigEndian ? first << 8 | second : second << 8 | first);
    };
    const auto isHigh = [](char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; };
    const auto isLow = [](char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; };
    std::string output;
    output.reserve(bytes.size() * 3 / 2);
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 2) {
            output.append(kReplacementCharacter);
            break;
        }
        const char32_t unit = unitAt(at);
        if (isHigh(unit) && bytes.size() - at >= 4 && isLow(unitAt(at + 2))) {
            appendUtf8(output, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(at + 2) - 0xDC00));
            at += 4;
        } else if (isHigh(unit) || isLow(unit)) {
            output.append(kReplacementCharacter);
            at += 2;
        } else {
            appendUtf8(output, unit);
            at += 2;
        }
    }
    return output;
}

} // namespace

bool systemDecodes(const std::string& lowerLabel)
{
    // Every code page of the list reads ASCII unchanged.
    return tableFor(lowerLabel) != nullptr;
}

std::optional<std::string> decodeWithSystem(std::string_view bytes, const std::string& name)
{
    const std::string lowerName = lowered(name);
    if (lowerName == "utf-16le" || lowerName == "utf-16be")
        return decodeUtf16(bytes, lowerName == "utf-16be");
    const CodePageTable* table = tableFor(lowerName);
    if (!table)
        return std::nullopt;
    return table->decodeToUtf8(bytes);
}

} // namespace tavrin::text
