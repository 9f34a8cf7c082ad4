#include "text/charset.h"

#include "text/charset_decoder.h"
#include "text/utf8_sequence.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace tavrin::text {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD"; // U+FFFD in UTF-8
constexpr std::string_view kUtf8 = "UTF-8";
constexpr std::string_view kUtf16Le = "UTF-16LE";
constexpr std::string_view kUtf16Be = "UTF-16BE";
// GB18030 is a superset of GBK and GB2312 that decodes every text of theirs to the same
// characters, and also knows the four-byte sequences pages labelled "gbk" sometimes hold.
constexpr std::string_view kGbk = "GB18030";

// How far a <meta> declaration is looked for. Browsers look at about as much; a declaration
// further in is too late to have been meant seriously.
constexpr std::size_t kPrescanBytes = 1024;

// Labels whose meaning on the web differs from the system's reading of the same name, or that
// the system does not know. Everything else goes to the system's converters as written. Sorted
// by label.
struct LabelAlias
{
    std::string_view label;
    std::string_view name;
};
constexpr std::array kLabelAliases{
    // Browsers read every "Latin-1" page as windows-1252, whose 0x80..0x9F are printable
    // (curly quotes, the euro sign) instead of control characters.
    LabelAlias{"ansi_x3.4-1968", "CP1252"},
    LabelAlias{"ascii", "CP1252"},
    LabelAlias{"big5", "BIG5-HKSCS"},
    LabelAlias{"big5-hkscs", "BIG5-HKSCS"},
    LabelAlias{"chinese", kGbk},
    LabelAlias{"cn-big5", "BIG5-HKSCS"},
    LabelAlias{"cp936", kGbk},
    LabelAlias{"csbig5", "BIG5-HKSCS"},
    LabelAlias{"csgb2312", kGbk},
    LabelAlias{"csiso58gb231280", kGbk},
    LabelAlias{"csshiftjis", "CP932"},
    LabelAlias{"euc-cn", kGbk},
    LabelAlias{"euc-kr", "CP949"},
    LabelAlias{"gb18030", kGbk},
    LabelAlias{"gb2312", kGbk},
    LabelAlias{"gb_2312", kGbk},
    LabelAlias{"gb_2312-80", kGbk},
    LabelAlias{"gbk", kGbk},
    LabelAlias{"iso-8859-1", "CP1252"},
    LabelAlias{"iso-ir-58", kGbk},
    LabelAlias{"iso8859-1", "CP1252"},
    LabelAlias{"iso_8859-1", "CP1252"},
    LabelAlias{"ks_c_5601-1987", "CP949"},
    LabelAlias{"l1", "CP1252"},
    LabelAlias{"latin1", "CP1252"},
    // What pages call Shift_JIS is in practice Microsoft's code page 932, with its extra rows.
    LabelAlias{"ms932", "CP932"},
    LabelAlias{"ms936", kGbk},
    LabelAlias{"ms_kanji", "CP932"},
    LabelAlias{"shift-jis", "CP932"},
    LabelAlias{"shift_jis", "CP932"},
    LabelAlias{"sjis", "CP932"},
    LabelAlias{"unicode-1-1-utf-8", kUtf8},
    LabelAlias{"us-ascii", "CP1252"},
    LabelAlias{"utf-16", kUtf16Le},
    LabelAlias{"utf-16be", kUtf16Be},
    LabelAlias{"utf-16le", kUtf16Le},
    LabelAlias{"utf-8", kUtf8},
    LabelAlias{"utf8", kUtf8},
    LabelAlias{"windows-1252", "CP1252"},
    LabelAlias{"windows-31j", "CP932"},
    LabelAlias{"windows-936", kGbk},
    LabelAlias{"windows-949", "CP949"},
    LabelAlias{"x-gbk", kGbk},
    LabelAlias{"x-sjis", "CP932"},
    LabelAlias{"x-x-big5", "BIG5-HKSCS"},
};

static_assert(std::is_sorted(kLabelAliases.begin(), kLabelAliases.end(),
                             [](const LabelAlias& a, const LabelAlias& b) { return a.label < b.label; }),
              "charsetForLabel looks labels up by binary search");

bool isAsciiWhitespace(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isAsciiLetter(char c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lowerAscii(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), lowerAscii);
    return result;
}

std::string_view trimmed(std::string_view text) noexcept
{
    while (!text.empty() && isAsciiWhitespace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isAsciiWhitespace(text.back()))
        text.remove_suffix(1);
    return text;
}

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view lowerPrefix) noexcept
{
    if (text.size() - std::min(at, text.size()) < lowerPrefix.size())
        return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        if (lowerAscii(text[at + i]) != lowerPrefix[i])
            return false;
    }
    return true;
}

// UTF-8 to UTF-8 with every ill-formed part replaced: one U+FFFD for each maximal part of a
// sequence that cannot be completed, as browsers do. Done here rather than by the system's converter,
// which would take the detour through its internal form for text that mostly needs only copying.
std::string sanitizeUtf8(std::string_view input)
{
    std::string output;
    output.reserve(input.size());
    std::size_t runStart = 0;
    std::size_t at = 0;
    while (at < input.size()) {
        if (static_cast<unsigned char>(input[at]) < 0x80) {
            ++at;
            continue;
        }
        const Utf8Prefix prefix = utf8Prefix(input.substr(at));
        if (prefix.needed != 0 && prefix.valid == prefix.needed) {
            at += prefix.needed;
            continue;
        }
        output.append(input.substr(runStart, at - runStart));
        output.append(kReplacementCharacter);
        at += std::max<std::size_t>(prefix.valid, 1);
        runStart = at;
    }
    output.append(input.substr(runStart));
    return output;
}

// Labels are short tokens of letters, digits and a few marks. Anything else (a "//" suffix
// that would switch iconv's error handling, a comma list, a stray quote) is no label.
bool isPlausibleLabel(std::string_view label) noexcept
{
    constexpr std::size_t kMaxLabelBytes = 40;
    if (label.empty() || label.size() > kMaxLabelBytes)
        return false;
    return std::all_of(label.begin(), label.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' ||
               c == ':';
    });
}

// The Content-Type-style "charset=VALUE" inside a meta content attribute, as browsers read
// it: the first "charset" followed by optional blanks and "=", the value quoted or up to a
// blank or ";".
std::string_view charsetInMetaContent(std::string_view content)
{
    std::size_t at = 0;
    while (true) {
        std::size_t found = std::string_view::npos;
        for (std::size_t i = at; i + 7 <= content.size(); ++i) {
            if (startsWithNoCase(content, i, "charset")) {
                found = i;
                break;
            }
        }
        if (found == std::string_view::npos)
            return {};
        at = found + 7;
        while (at < content.size() && isAsciiWhitespace(content[at]))
            ++at;
        if (at >= content.size() || content[at] != '=')
            continue;
        ++at;
        while (at < content.size() && isAsciiWhitespace(content[at]))
            ++at;
        if (at >= content.size())
            return {};
        const char quote = content[at];
        if (quote == '"' || quote == '\'') {
            const std::size_t close = content.find(quote, at + 1);
            if (close == std::string_view::npos)
                return {};
            return content.substr(at + 1, close - at - 1);
        }
        std::size_t end = at;
        while (end < content.size() && !isAsciiWhitespace(content[end]) && content[end] != ';')
            ++end;
        return content.substr(at, end - at);
    }
}

// One attribute of a tag in the prescan: the name lowered, the value as written.
struct PrescanAttribute
{
    std::string name;
    std::string_view value;
};

// Reads the attribute at `at` (just after a tag name or a previous attribute), advancing `at`.
// nullopt at the end of the tag ('>') or of the text; `at` is then past the tag.
std::optional<PrescanAttribute> nextAttribute(std::string_view text, std::size_t& at)
{
    while (at < text.size() && (isAsciiWhitespace(text[at]) || text[at] == '/'))
        ++at;
    if (at >= text.size() || text[at] == '>') {
        at = std::min(at + 1, text.size());
        return std::nullopt;
    }
    PrescanAttribute attribute;
    // The first character may be '=', which is then part of the name.
    attribute.name.push_back(lowerAscii(text[at++]));
    while (at < text.size() && text[at] != '=' && text[at] != '/' && text[at] != '>' &&
           !isAsciiWhitespace(text[at]))
        attribute.name.push_back(lowerAscii(text[at++]));
    while (at < text.size() && isAsciiWhitespace(text[at]))
        ++at;
    if (at >= text.size() || text[at] != '=')
        return attribute; // no value
    ++at;
    while (at < text.size() && isAsciiWhitespace(text[at]))
        ++at;
    if (at >= text.size())
        return attribute;
    const char quote = text[at];
    if (quote == '"' || quote == '\'') {
        const std::size_t close = text.find(quote, at + 1);
        const std::size_t end = close == std::string_view::npos ? text.size() : close;
        attribute.value = text.substr(at + 1, end - at - 1);
        at = std::min(end + 1, text.size());
        return attribute;
    }
    const std::size_t start = at;
    while (at < text.size() && text[at] != '>' && !isAsciiWhitespace(text[at]))
        ++at;
    attribute.value = text.substr(start, at - start);
    return attribute;
}

// The charset a <meta> element declares, given the position just after "<meta"; `at` ends
// past the element. A declaration that names an unknown encoding declares nothing, and UTF-16
// declared in a page whose declaration could be read as ASCII means UTF-8.
std::optional<std::string> metaDeclaration(std::string_view text, std::size_t& at)
{
    std::string_view charset;
    std::string_view content;
    bool contentTypePragma = false;
    bool sawCharset = false;
    bool sawContent = false;
    while (const auto attribute = nextAttribute(text, at)) {
        if (attribute->name == "charset" && !sawCharset) {
            sawCharset = true;
            charset = attribute->value;
        } else if (attribute->name == "content" && !sawContent) {
            sawContent = true;
            content = attribute->value;
        } else if (attribute->name == "http-equiv") {
            contentTypePragma = contentTypePragma || lowered(attribute->value) == "content-type";
        }
    }
    std::string_view label;
    if (sawCharset)
        label = charset;
    else if (contentTypePragma)
        label = charsetInMetaContent(content);
    if (label.empty())
        return std::nullopt;
    std::optional<std::string> name = charsetForLabel(label);
    if (name && (*name == kUtf16Le || *name == kUtf16Be))
        return std::string(kUtf8);
    return name;
}

// The first usable <meta> declaration in the start of a page. Comments are skipped, and so
// are the attributes of other tags, so that "<meta" quoted inside them is not taken for one.
std::optional<std::string> prescanMeta(std::string_view head)
{
    std::size_t at = 0;
    while (at < head.size()) {
        if (head[at] != '<') {
            ++at;
            continue;
        }
        if (head.substr(at, 4) == "<!--") {
            const std::size_t close = head.find("-->", at + 4);
            if (close == std::string_view::npos)
                return std::nullopt;
            at = close + 3;
            continue;
        }
        if (startsWithNoCase(head, at, "<meta") && at + 5 < head.size() &&
            (isAsciiWhitespace(head[at + 5]) || head[at + 5] == '/')) {
            at += 5;
            if (auto name = metaDeclaration(head, at))
                return name;
            continue;
        }
        const std::size_t nameAt = at + 1 + (at + 1 < head.size() && head[at + 1] == '/' ? 1 : 0);
        if (nameAt < head.size() && isAsciiLetter(head[nameAt])) {
            at = nameAt;
            while (at < head.size() && !isAsciiWhitespace(head[at]) && head[at] != '>')
                ++at;
            while (nextAttribute(head, at)) {
            }
            continue;
        }
        ++at;
    }
    return std::nullopt;
}

struct ByteOrderMark
{
    std::string_view bytes;
    std::string_view charset;
};
constexpr std::array kByteOrderMarks{
    ByteOrderMark{"\xEF\xBB\xBF", kUtf8},
    ByteOrderMark{"\xFE\xFF", kUtf16Be},
    ByteOrderMark{"\xFF\xFE", kUtf16Le},
};

} // namespace

std::optional<std::string> charsetForLabel(std::string_view label)
{
    const std::string key = lowered(trimmed(label));
    if (!isPlausibleLabel(key))
        return std::nullopt;
    const auto alias =
        std::lower_bound(kLabelAliases.begin(), kLabelAliases.end(), key,
                         [](const LabelAlias& a, const std::string& k) { return a.label < k; });
    if (alias != kLabelAliases.end() && alias->label == key)
        return std::string(alias->name);
    // The long tail (koi8-r, windows-1251, iso-8859-2, euc-jp, ...), by the names pages use.
    if (!systemDecodes(key))
        return std::nullopt;
    std::string name = key;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    return name;
}

std::string_view contentTypeCharset(std::string_view contentType)
{
    std::size_t at = contentType.find(';');
    while (at != std::string_view::npos) {
        std::size_t end = contentType.find(';', at + 1);
        std::string_view parameter = trimmed(contentType.substr(
            at + 1, end == std::string_view::npos ? std::string_view::npos : end - at - 1));
        at = end;
        const std::size_t equals = parameter.find('=');
        if (equals == std::string_view::npos || lowered(trimmed(parameter.substr(0, equals))) != "charset")
            continue;
        std::string_view value = trimmed(parameter.substr(equals + 1));
        if (!value.empty() && value.front() == '"') {
            value.remove_prefix(1);
            return value.substr(0, value.find('"'));
        }
        // Some servers write a list after the value ("gbk, text/html"); the token ends there.
        return value.substr(0, value.find_first_of(", \t"));
    }
    return {};
}

bool looksLikeUtf8(std::string_view bytes) noexcept
{
    // A page of real UTF-8 text with a stray byte (a title cut in the middle of a character
    // by the site's software) is still UTF-8; GBK text read as UTF-8 has an ill-formed byte
    // for every few well-formed sequences, nowhere near this ratio.
    constexpr std::size_t kWellFormedPerStrayByte = 16;
    std::size_t wellFormed = 0;
    std::size_t illFormed = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (static_cast<unsigned char>(bytes[at]) < 0x80) {
            ++at;
            continue;
        }
        const Utf8Prefix prefix = utf8Prefix(bytes.substr(at));
        if (prefix.needed != 0 && prefix.valid == prefix.needed) {
            ++wellFormed;
            at += prefix.needed;
            continue;
        }
        if (prefix.needed != 0 && at + prefix.valid == bytes.size())
            break; // cut off by the end of the body
        ++illFormed;
        at += std::max<std::size_t>(prefix.valid, 1);
    }
    return illFormed == 0 || wellFormed >= kWellFormedPerStrayByte * illFormed;
}

PickedCharset pickCharset(std::string_view body, std::string_view contentType)
{
    for (const ByteOrderMark& mark : kByteOrderMarks) {
        if (body.substr(0, mark.bytes.size()) == mark.bytes)
            return {std::string(mark.charset), CharsetSource::ByteOrderMark};
    }
    if (auto name = charsetForLabel(contentTypeCharset(contentType)))
        return {std::move(*name), CharsetSource::ContentType};
    if (auto name = prescanMeta(body.substr(0, kPrescanBytes)))
        return {std::move(*name), CharsetSource::MetaTag};
    if (looksLikeUtf8(body))
        return {std::string(kUtf8), CharsetSource::ValidUtf8};
    return {std::string(kGbk), CharsetSource::Fallback};
}

std::string decodeToUtf8(std::string_view bytes, std::string_view charset)
{
    std::optional<std::string> name = charsetForLabel(charset);
    if (!name)
        name = std::string(looksLikeUtf8(bytes) ? kUtf8 : kGbk);
    for (const ByteOrderMark& mark : kByteOrderMarks) {
        if (mark.charset == *name && bytes.substr(0, mark.bytes.size()) == mark.bytes)
            bytes.remove_prefix(mark.bytes.size());
    }
    if (*name == kUtf8)
        return sanitizeUtf8(bytes);
    // Every name charsetForLabel gives decodes, unless the system lacks a converter it had a
    // moment ago; reading the bytes as UTF-8 still gives text whose ASCII is right.
    std::optional<std::string> decoded = decodeWithSystem(bytes, *name);
    return decoded ? std::move(*decoded) : sanitizeUtf8(bytes);
}

} // namespace tavrin::text
