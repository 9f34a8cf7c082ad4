#include "library/site_host.h"

#include "library/site_address.h"
#include "text/encoding.h"
#include "text/messages.h"

#include <algorithm>
#include <optional>

namespace tavrin::library {

namespace {

bool isSchemeChar(char c, bool first)
{
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (first)
        return letter;
    return letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// Zero-based offset where the host begins: just after "scheme://" when the address starts
// with one (blanks before it allowed), else 0. An address such as "a.com/?go=http://b.com"
// keeps "a.com": only a real scheme in front counts.
std::size_t hostStart(std::string_view address)
{
    const std::size_t separator = address.find("://");
    if (separator == std::string_view::npos)
        return 0;
    std::size_t begin = 0;
    while (begin < separator && (address[begin] == ' ' || address[begin] == '\t'))
        ++begin;
    if (begin == separator)
        return 0;
    for (std::size_t i = begin; i < separator; ++i) {
        if (!isSchemeChar(address[i], i == begin))
            return 0;
    }
    return separator + 3;
}

// Zero-based offset just after the last '@' of the authority (the end of user information,
// which is no part of the host), or 0. '@' can be the second byte of a GBK character, so the
// search steps over characters.
std::size_t afterUserInformation(std::string_view authority)
{
    std::size_t after = 0;
    for (long long at = text::find(authority, "@"); at > 0; at = text::find(authority, "@", at + 1))
        after = static_cast<std::size_t>(at);
    return after;
}

// The ASCII form of a host that holds GBK characters (a Chinese name), or nothing when it is
// no host name that form exists for.
std::optional<Text> asciiFormOfGbkHost(std::string_view host)
{
    const std::string utf8 = text::gbkToUtf8(host);
    // Bytes that are not GBK come back as U+FFFD, which would name another host.
    if (text::utf8ToGbk(utf8) != host)
        return std::nullopt;
    return checkSiteHost(utf8).host;
}

} // namespace

Text siteHost(std::string_view address)
{
    std::string_view host = address.substr(hostStart(address));
    // '/', '?', '#' and ':' are never the second byte of a GBK character, so a byte search is
    // safe here.
    const std::size_t end = host.find_first_of("/?#");
    if (end != std::string_view::npos)
        host = host.substr(0, end);
    host.remove_prefix(afterUserInformation(host));
    const std::size_t port = host.find(':');
    if (port != std::string_view::npos)
        host = host.substr(0, port);
    const bool ascii =
        std::all_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) {
        if (std::optional<Text> asciiForm = asciiFormOfGbkHost(host))
            return std::move(*asciiForm);
    }
    return text::asciiLower(host);
}

Text templateOf(std::string_view line)
{
    return text::replaceAll(line, msg::kFormatMarker, {});
}

Text expandTemplate(std::string_view line, std::string_view host)
{
    return text::replaceAll(templateOf(line), msg::kPlaceholder, host);
}

Text collapseHost(std::string_view url, std::string_view host)
{
    if (host.empty())
        return Text(url);
    return text::replaceAll(url, host, msg::kPlaceholder, text::CaseMode::AsciiInsensitive);
}

} // namespace tavrin::library
