#include "library/site_address.h"

#include "text/punycode.h"
#include "text/utf8_sequence.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace tavrin::library {

namespace {

using Problem = SiteAddressProblem;

constexpr std::size_t kMaxLabelBytes = 63;
constexpr std::size_t kMaxNameBytes = 253;
constexpr int kMaxPort = 65535;
constexpr std::string_view kLocalhost = "localhost";

// The dots of Chinese and Japanese input, which browsers read as the dot between labels.
constexpr std::array<std::string_view, 3> kWideDots = {"\xE3\x80\x82" /* 。 */, "\xEF\xBC\x8E" /* ． */,
                                                       "\xEF\xBD\xA1" /* ｡ */};
// The ideographic space, a blank that a Chinese keyboard types.
constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

// Code points that no label holds. IDNA2008 allows the letters, marks and digits of the world's
// scripts, which takes Unicode's character database to tell; these ranges keep out what users
// type by accident (full-width punctuation, blanks of every width, symbols) and what hides in
// text (zero-width and direction marks, the replacement character), and let every script's
// letters through. Full-width letters, digits and the hyphen are read as their ASCII selves
// before this is asked.
constexpr std::pair<char32_t, char32_t> kNotInLabels[] = {
    {0x0080, 0x00BF},   // C1 controls, the no-break space, Latin-1 punctuation and signs
    {0x00D7, 0x00D7},   // ×
    {0x00F7, 0x00F7},   // ÷
    {0x2000, 0x2BFF},   // blanks, zero-width and direction marks, punctuation, symbols, arrows
    {0x2E00, 0x2E7F},   // supplemental punctuation
    {0x3000, 0x3004},   // the ideographic space, 、 。 〃 〄
    {0x3008, 0x3020},   // 〈〉《》「」『』【】 and other brackets and marks
    {0x3030, 0x3030},   // 〰
    {0xD800, 0xF8FF},   // surrogates and private use
    {0xFDD0, 0xFDEF},   // non-characters
    {0xFE00, 0xFE6F},   // variation selectors, vertical and small forms
    {0xFEFF, 0xFFFF},   // the byte-order mark, full- and half-width forms, specials
    {0x1F000, 0x1FAFF}, // emoji and other pictographs
    {0xE0000, 0x10FFFF} // tags, variation selectors, private use
};

// Full-width ASCII (U+FF01 to U+FF5E), as a Chinese keyboard types it, is the ASCII character.
char32_t narrowed(char32_t point) noexcept
{
    return point >= 0xFF01 && point <= 0xFF5E ? point - 0xFEE0 : point;
}

bool mayStandInLabel(char32_t point) noexcept
{
    if (point < 0x80)
        return (point >= 'a' && point <= 'z') || (point >= '0' && point <= '9') || point == '-';
    return std::none_of(std::begin(kNotInLabels), std::end(kNotInLabels),
                        [point](const auto& range) { return point >= range.first && point <= range.second; });
}

bool isDigits(std::string_view text) noexcept
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The host with the dots of Chinese input made ASCII dots.
std::string withAsciiDots(std::string_view host)
{
    std::string dotted;
    dotted.reserve(host.size());
    while (!host.empty()) {
        const auto wide = std::find_if(kWideDots.begin(), kWideDots.end(),
                                       [host](std::string_view dot) { return host.starts_with(dot); });
        dotted.push_back(wide == kWideDots.end() ? host.front() : '.');
        host.remove_prefix(wide == kWideDots.end() ? 1 : wide->size());
    }
    return dotted;
}

struct LabelCheck
{
    std::string ascii;
    Problem problem = Problem::NoHost;
};

// One label (UTF-8) in its ASCII form, or why it cannot be one.
LabelCheck checkLabel(std::string_view utf8Label)
{
    if (utf8Label.empty())
        return {{}, Problem::EmptyLabel};
    const std::optional<std::u32string> decoded = text::utf8CodePoints(utf8Label);
    if (!decoded)
        return {{}, Problem::BadCharacter};
    // Even all of them ASCII, more code points than that make too long a label; stopping here
    // keeps the encoding (whose work grows with the square of the length) small.
    if (decoded->size() > kMaxLabelBytes)
        return {{}, Problem::LongLabel};
    std::string lowered;
    bool ascii = true;
    for (char32_t point : *decoded) {
        point = narrowed(point);
        if (point >= 'A' && point <= 'Z')
            point += 'a' - 'A';
        if (!mayStandInLabel(point))
            return {{}, Problem::BadCharacter};
        ascii = ascii && point < 0x80;
        text::appendUtf8(lowered, point);
    }
    if (ascii && lowered.starts_with(text::kAcePrefix)) {
        // Typed in its ASCII form already: it must be what the Unicode label it stands for
        // gives when typed, or two spellings would name one site (and a character refused in
        // a Unicode label would get in this way). Each round is shorter, so this ends.
        const std::optional<std::string> unicode = text::unicodeLabel(lowered);
        if (!unicode || checkLabel(*unicode).ascii != lowered)
            return {{}, Problem::BadAceLabel};
    }
    if (lowered.front() == '-' || lowered.back() == '-')
        return {{}, Problem::Hyphen};
    std::optional<std::string> encoded = text::asciiLabel(lowered);
    if (!encoded)
        return {{}, Problem::BadCharacter};
    if (encoded->size() > kMaxLabelBytes)
        return {{}, Problem::LongLabel};
    return {std::move(*encoded), Problem::NoHost};
}

// Whether the labels are those of a dotted IPv4 address: four decimal numbers up to 255,
// without leading zeros (which some programs read as octal).
bool isIpv4(const std::vector<std::string>& labels)
{
    return labels.size() == 4 && std::all_of(labels.begin(), labels.end(), [](const std::string& label) {
               return isDigits(label) && label.size() <= 3 && (label.size() == 1 || label.front() != '0') &&
                      std::stoi(label) <= 255;
           });
}

std::optional<int> portNumber(std::string_view digits)
{
    if (!isDigits(digits) || digits.size() > 5)
        return std::nullopt;
    const int port = std::stoi(std::string(digits));
    if (port < 1 || port > kMaxPort)
        return std::nullopt;
    return port;
}

bool isSchemeText(std::string_view text) noexcept
{
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    return !text.empty() && letter(text.front()) && std::all_of(text.begin(), text.end(), [&](char c) {
        return letter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    });
}

// The scheme of an address that starts with one but has no "//" after its ':' ("mailto:x"),
// told from a host and port ("localhost:8080", "a.example:http") by the letters of the scheme
// and the character after the ':', which starts no port.
std::optional<std::string_view> schemeWithoutSlashes(std::string_view address) noexcept
{
    const std::size_t colon = address.find(':');
    if (colon == std::string_view::npos || colon + 1 >= address.size())
        return std::nullopt;
    const std::string_view scheme = address.substr(0, colon);
    const char after = address[colon + 1];
    const bool named = isSchemeText(scheme) && scheme.find('.') == std::string_view::npos;
    return named && !(after >= '0' && after <= '9') ? std::optional(scheme) : std::nullopt;
}

// The address without blanks (ASCII white space and the ideographic space) around it.
std::string_view trimmed(std::string_view typed) noexcept
{
    constexpr std::string_view kAsciiBlanks = " \t\r\n\v\f";
    bool changed = true;
    while (changed && !typed.empty()) {
        changed = false;
        if (kAsciiBlanks.find(typed.front()) != std::string_view::npos) {
            typed.remove_prefix(1);
            changed = true;
        } else if (typed.starts_with(kIdeographicSpace)) {
            typed.remove_prefix(kIdeographicSpace.size());
            changed = true;
        }
        if (typed.empty())
            break;
        if (kAsciiBlanks.find(typed.back()) != std::string_view::npos) {
            typed.remove_suffix(1);
            changed = true;
        } else if (typed.ends_with(kIdeographicSpace)) {
            typed.remove_suffix(kIdeographicSpace.size());
            changed = true;
        }
    }
    return typed;
}

bool holdsBlank(std::string_view text) noexcept
{
    const bool control = std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F;
    });
    return control || text.find(kIdeographicSpace) != std::string_view::npos;
}

} // namespace

std::string SiteAddress::url() const
{
    std::string url = https ? "https://" : "http://";
    url += host;
    if (port != 0)
        url += ':' + std::to_string(port);
    return url + rest;
}

SiteHostCheck checkSiteHost(std::string_view utf8Host)
{
    std::string host = withAsciiDots(utf8Host);
    // A final dot names the same host (the root of the name tree, written out).
    if (host.size() > 1 && host.back() == '.')
        host.pop_back();
    if (host.empty())
        return {std::nullopt, Problem::NoHost};

    std::vector<std::string> labels;
    std::size_t nameBytes = 0;
    for (std::string_view rest = host;;) {
        const std::size_t dot = rest.find('.');
        LabelCheck label = checkLabel(rest.substr(0, dot));
        if (label.ascii.empty())
            return {std::nullopt, label.problem};
        nameBytes += label.ascii.size() + (labels.empty() ? 0 : 1);
        if (nameBytes > kMaxNameBytes)
            return {std::nullopt, Problem::LongName};
        labels.push_back(std::move(label.ascii));
        if (dot == std::string_view::npos)
            break;
        rest.remove_prefix(dot + 1);
    }
    // No top-level domain is a number: a name ending in one is meant as an IPv4 address.
    if (isDigits(labels.back()) && !isIpv4(labels))
        return {std::nullopt, Problem::BadIpv4};
    if (labels.size() == 1 && labels.front() != kLocalhost)
        return {std::nullopt, Problem::SingleLabel};

    text::Text ascii = labels.front();
    for (std::size_t i = 1; i < labels.size(); ++i)
        ascii += '.' + labels[i];
    return {std::move(ascii), Problem::NoHost};
}

SiteAddressCheck checkSiteAddress(std::string_view typed)
{
    std::string_view rest = trimmed(typed);
    if (rest.empty())
        return {std::nullopt, Problem::NoHost};
    if (holdsBlank(rest))
        return {std::nullopt, Problem::Blank};

    SiteAddress address;
    // Only a scheme in front counts: "a.example/?go=http://b.example" has none.
    if (const std::size_t separator = rest.find("://");
        separator != std::string_view::npos && isSchemeText(rest.substr(0, separator))) {
        const std::string_view scheme = rest.substr(0, separator);
        if (text::equalIgnoringAsciiCase(scheme, "https"))
            address.https = true;
        else if (!text::equalIgnoringAsciiCase(scheme, "http"))
            return {std::nullopt, Problem::Scheme};
        rest.remove_prefix(separator + 3);
    } else if (const std::optional<std::string_view> scheme = schemeWithoutSlashes(rest)) {
        // "mailto:me@a.example" names no web site; "http:a.example" lacks the "//" before the
        // host, and guessing where the host starts would be guessing.
        const bool web =
            text::equalIgnoringAsciiCase(*scheme, "http") || text::equalIgnoringAsciiCase(*scheme, "https");
        return {std::nullopt, web ? Problem::NoHost : Problem::Scheme};
    }
    // '/', '?', '#', '@' and ':' are ASCII, never a byte inside a UTF-8 character.
    const std::size_t authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    std::string_view host = rest.substr(0, authorityEnd);
    address.rest = std::string(rest.substr(authorityEnd));
    // User information is for logging in, not a part of the site's name; the last '@' ends it,
    // as in browsers.
    if (const std::size_t at = host.rfind('@'); at != std::string_view::npos)
        host.remove_prefix(at + 1);
    // An IPv6 address ("[::1]") would need its brackets in every template; none is taken.
    if (host.starts_with('['))
        return {std::nullopt, Problem::BadCharacter};
    if (const std::size_t colon = host.rfind(':'); colon != std::string_view::npos) {
        const std::optional<int> port = portNumber(host.substr(colon + 1));
        if (!port)
            return {std::nullopt, host.substr(0, colon).empty() ? Problem::NoHost : Problem::BadPort};
        address.port = *port;
        host = host.substr(0, colon);
    }
    SiteHostCheck checked = checkSiteHost(host);
    if (!checked.host)
        return {std::nullopt, checked.problem};
    address.host = std::move(*checked.host);
    return {std::move(address), Problem::NoHost};
}

} // namespace tavrin::library
