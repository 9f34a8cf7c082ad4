#include "library/placeholders.h"

#include "text/messages.h"
#include "text/percent_escape.h"

#include <algorithm>
#include <array>
#include <optional>

namespace tavrin::library {

namespace {

// The names every tool we know of fills with the queried site; the ENCODE_ forms are the same
// value URL-encoded, which for a bare host is the host itself.
constexpr std::array<std::string_view, 8> kSiteNames = {
    "DOMAIN",        "HOST",        "URL",        "NOPROTOCOL_URL",
    "ENCODE_DOMAIN", "ENCODE_HOST", "ENCODE_URL", "ENCODE_NOPROTOCOL_URL",
};
constexpr std::string_view kLowerDomain = "{domain}";
// A placeholder's name is short; looking no further for its end keeps a line of thousands of
// "{{" from costing a scan to the end of the line for each of them.
constexpr std::size_t kLongestName = 64;

bool isUpper(char c)
{
    return c >= 'A' && c <= 'Z';
}

bool isAlnum(char c)
{
    return isUpper(c) || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool isNameChar(char c)
{
    return isAlnum(c) || c == '_';
}

bool isSiteName(std::string_view name, text::CaseMode mode)
{
    for (const std::string_view known : kSiteNames) {
        if (mode == text::CaseMode::Sensitive ? name == known : text::equalIgnoringAsciiCase(name, known))
            return true;
    }
    return false;
}

// A placeholder of another tool starting at `at`: its length, and whether a host can stand for
// it.
struct Found
{
    std::size_t length;
    bool mappable;
};

// "{{ NAME }}": the name of letters, digits and underscores, blanks allowed around it.
std::optional<Found> doubleBraceAt(std::string_view line, std::size_t at)
{
    if (line.substr(at, 2) != "{{")
        return std::nullopt;
    std::size_t end = at + 2;
    const std::size_t limit = std::min(line.size(), end + kLongestName);
    while (end < limit && line[end] == ' ')
        ++end;
    const std::size_t nameStart = end;
    while (end < limit && isNameChar(line[end]))
        ++end;
    const std::size_t nameEnd = end;
    while (end < limit && line[end] == ' ')
        ++end;
    if (nameEnd == nameStart || line.substr(end, 2) != "}}")
        return std::nullopt;
    const std::string_view name = line.substr(nameStart, nameEnd - nameStart);
    return Found{end + 2 - at, isSiteName(name, text::CaseMode::AsciiInsensitive)};
}

// "[NAME]": two or more capitals, digits and underscores, starting with a capital.
std::optional<Found> bracketAt(std::string_view line, std::size_t at)
{
    if (line[at] != '[' || at + 1 >= line.size() || !isUpper(line[at + 1]))
        return std::nullopt;
    std::size_t end = at + 1;
    const std::size_t limit = std::min(line.size(), end + kLongestName);
    while (end < limit && (isUpper(line[end]) || (line[end] >= '0' && line[end] <= '9') || line[end] == '_'))
        ++end;
    if (end >= line.size() || line[end] != ']' || end - (at + 1) < 2)
        return std::nullopt;
    const std::string_view name = line.substr(at + 1, end - (at + 1));
    return Found{end + 1 - at, isSiteName(name, text::CaseMode::Sensitive)};
}

std::optional<Found> placeholderAt(std::string_view line, std::size_t at)
{
    if (line[at] == '{') {
        if (line.substr(at, kLowerDomain.size()) == kLowerDomain)
            return Found{kLowerDomain.size(), true};
        return doubleBraceAt(line, at);
    }
    if (line[at] == '[')
        return bracketAt(line, at);
    return std::nullopt;
}

bool isHostChar(char c)
{
    return isAlnum(c) || c == '.' || c == '-';
}

// The extensions of the files services name after a host ("/example.com.html"): a dot and one of
// these after the sample host end it. None of them is a top-level domain; ".pl" and ".do" would
// be, and are left out.
constexpr std::array<std::string_view, 17> kFileExtensions = {
    "html", "htm",  "shtml", "xhtml", "php", "asp", "aspx", "jsp", "cgi",
    "xml",  "json", "txt",   "png",   "gif", "jpg", "jpeg", "svg",
};

// One character of a line as a host boundary sees it. A percent-escape stands for the byte it
// encodes: "site%3Aexample.com" is "site:example.com" to the service that decodes it, so the
// hex digit before the host ends nothing, while "www%2Eexample.com" is a subdomain.
struct LineChar
{
    std::size_t length;
    // The character, or the byte an escape encodes; 0x80 for a double-byte character.
    unsigned char value;
};

LineChar lineCharAt(std::string_view line, std::size_t at)
{
    if (const std::optional<unsigned char> escaped = text::percentEscapeAt(line, at))
        return {3, *escaped};
    const std::size_t length = text::charLength(line, at);
    return {length, length == 1 ? static_cast<unsigned char>(line[at]) : static_cast<unsigned char>(0x80)};
}

bool isHostValue(unsigned char value)
{
    return value < 0x80 && isHostChar(static_cast<char>(value));
}

// A label of a host name can start here: a letter or digit, or a character outside ASCII (an
// internationalised name, "example.com.中国").
bool labelStartsAt(std::string_view line, std::size_t at)
{
    if (at >= line.size())
        return false;
    const unsigned char value = lineCharAt(line, at).value;
    return value >= 0x80 || isAlnum(static_cast<char>(value));
}

// Whether a host name that reaches `at` goes on there: a letter, digit or '-' follows, or a dot
// and the start of another label. A dot that no label follows ends a fully qualified name or a
// sentence ("example.com./", "example.com.").
bool nameGoesOnAt(std::string_view line, std::size_t at)
{
    if (at >= line.size())
        return false;
    const LineChar next = lineCharAt(line, at);
    if (next.value == '.')
        return labelStartsAt(line, at + next.length);
    return isHostValue(next.value);
}

// Whether the sample host matched before `end` is part of a longer name: "example.com-x",
// "example.com2", "example.com.cn". A dot before a file's extension that ends the name
// ("example.com.html") ends the host instead; "example.com.php.cn" is a longer name again.
bool goesOnAsHost(std::string_view line, std::size_t end)
{
    if (!nameGoesOnAt(line, end))
        return false;
    const LineChar next = lineCharAt(line, end);
    if (next.value != '.')
        return true;
    const std::size_t label = end + next.length;
    std::size_t labelEnd = label;
    while (labelEnd < line.size() && (isAlnum(line[labelEnd]) || line[labelEnd] == '-'))
        ++labelEnd;
    const std::string_view name = line.substr(label, labelEnd - label);
    const bool extension =
        std::any_of(kFileExtensions.begin(), kFileExtensions.end(),
                    [&](std::string_view known) { return text::equalIgnoringAsciiCase(name, known); });
    return !extension || nameGoesOnAt(line, labelEnd);
}

} // namespace

PlaceholderMapping mapForeignPlaceholders(std::string_view line, Text& mapped)
{
    mapped.clear();
    std::size_t copied = 0;
    for (std::size_t at = 0; at < line.size();) {
        const auto byte = static_cast<unsigned char>(line[at]);
        if (byte >= 0x80) {
            at += text::charLength(line, at);
            continue;
        }
        const std::optional<Found> found =
            byte == '{' || byte == '[' ? placeholderAt(line, at) : std::nullopt;
        if (!found) {
            ++at;
            continue;
        }
        if (!found->mappable)
            return PlaceholderMapping::Unmappable;
        mapped.append(line.substr(copied, at - copied));
        mapped += msg::kPlaceholder;
        at += found->length;
        copied = at;
    }
    if (copied == 0)
        return PlaceholderMapping::Unchanged;
    mapped.append(line.substr(copied));
    return PlaceholderMapping::Mapped;
}

bool holdsPlaceholder(std::string_view text)
{
    if (text::find(text, msg::kPlaceholder) > 0)
        return true;
    Text ignored;
    return mapForeignPlaceholders(text, ignored) != PlaceholderMapping::Unchanged;
}

Text replaceSampleHost(std::string_view line, std::string_view sampleHost)
{
    if (sampleHost.empty())
        return Text(line);
    Text out;
    out.reserve(line.size());
    bool afterHostChar = false;
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t end = at + sampleHost.size();
        if (!afterHostChar && text::equalIgnoringAsciiCase(line.substr(at, sampleHost.size()), sampleHost) &&
            !goesOnAsHost(line, end)) {
            out += msg::kPlaceholder;
            at = end;
            // "{$url}" ends in a brace: what follows it starts a token of its own.
            afterHostChar = false;
            continue;
        }
        const LineChar here = lineCharAt(line, at);
        afterHostChar = isHostValue(here.value);
        out.append(line.substr(at, here.length));
        at += here.length;
    }
    return out;
}

} // namespace tavrin::library
