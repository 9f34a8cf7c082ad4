#include "net/proxy_address.h"

#include "net/request_headers.h"
#include "net/url_parts.h"

#include <array>
#include <utility>

namespace tavrin::net {

namespace {

constexpr std::array<std::pair<std::string_view, ProxyKind>, 5> kSchemes = {{
    {"http", ProxyKind::Http},
    {"https", ProxyKind::Https},
    {"socks4", ProxyKind::Socks4},
    {"socks5", ProxyKind::Socks5},
    {"socks5h", ProxyKind::Socks5Hostname},
}};

constexpr std::size_t kMaxHostLength = 253;
constexpr std::size_t kMaxLabelLength = 63;
constexpr std::size_t kMaxIpv6Length = 45;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isLetterOrDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    return (c | 0x20) - 'a' + 10;
}

std::string_view schemeName(ProxyKind kind)
{
    for (const auto& [name, named] : kSchemes) {
        if (named == kind)
            return name;
    }
    return "http";
}

// One part of the credentials (the user name or the password) as written: printable ASCII
// without the bytes that end or split them, "%XX" escapes that decode to no control character.
bool validCredentialPart(std::string_view part)
{
    for (std::size_t at = 0; at < part.size(); ++at) {
        const char c = part[at];
        if (c == '%') {
            if (part.size() - at < 3 || !isHexDigit(part[at + 1]) || !isHexDigit(part[at + 2]))
                return false;
            const int decoded = hexValue(part[at + 1]) * 16 + hexValue(part[at + 2]);
            if (decoded < 0x20 || decoded == 0x7F)
                return false;
            at += 2;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '/' || c == '?' || c == '#' || c == '@')
            return false;
    }
    return true;
}

bool validCredentials(std::string_view credentials)
{
    const std::size_t colon = credentials.find(':');
    const std::string_view user = credentials.substr(0, colon);
    const std::string_view password =
        colon == std::string_view::npos ? std::string_view() : credentials.substr(colon + 1);
    return !user.empty() && validCredentialPart(user) && validCredentialPart(password);
}

bool validIpv6(std::string_view inside)
{
    if (inside.empty() || inside.size() > kMaxIpv6Length || inside.find(':') == std::string_view::npos)
        return false;
    for (const char c : inside) {
        if (!isHexDigit(c) && c != ':' && c != '.')
            return false;
    }
    return true;
}

// A host name of labels (letters, digits, "-" and "_"; no label empty or starting or ending
// with "-"), or, when every label is a number, an IPv4 address of four numbers up to 255 without
// leading zeros (which some resolvers would read as octal).
bool validHostName(std::string_view host)
{
    if (host.empty() || host.size() > kMaxHostLength)
        return false;
    int labels = 0;
    bool allNumbers = true;
    bool numbersInRange = true;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = host.find('.', start);
        const std::string_view label = host.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (label.empty() || label.size() > kMaxLabelLength || label.front() == '-' || label.back() == '-')
            return false;
        bool number = true;
        int value = 0;
        for (const char c : label) {
            if (!isLetterOrDigit(c) && c != '-' && c != '_')
                return false;
            number = number && isDigit(c);
            value = number && value <= 255 ? value * 10 + (c - '0') : value;
        }
        if (number)
            numbersInRange = numbersInRange && value <= 255 && (label.size() == 1 || label.front() != '0');
        allNumbers = allNumbers && number;
        ++labels;
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    return !allNumbers || (labels == 4 && numbersInRange);
}

// ":PORT" and what follows it, after the host.
ProxyAddressProblem readPort(std::string_view afterHost, int& port)
{
    if (afterHost.empty())
        return ProxyAddressProblem::NoPort;
    if (afterHost.front() != ':')
        return ProxyAddressProblem::BadHost;
    afterHost.remove_prefix(1);
    std::size_t digits = 0;
    while (digits < afterHost.size() && isDigit(afterHost[digits]))
        ++digits;
    long value = 0;
    for (std::size_t at = 0; at < digits && value <= 65535; ++at)
        value = value * 10 + (afterHost[at] - '0');
    if (digits == 0 || value < 1 || value > 65535)
        return ProxyAddressProblem::BadPort;
    const std::string_view rest = afterHost.substr(digits);
    if (!rest.empty())
        return rest.front() == '/' || rest.front() == '?' || rest.front() == '#'
                   ? ProxyAddressProblem::TextAfterPort
                   : ProxyAddressProblem::BadPort;
    port = static_cast<int>(value);
    return ProxyAddressProblem::None;
}

ProxyAddressReading refused(ProxyAddressProblem problem)
{
    return ProxyAddressReading{std::nullopt, problem};
}

} // namespace

text::Text ProxyAddress::forCurl() const
{
    text::Text address = text::Text(schemeName(kind)) + "://";
    if (!credentials.empty())
        address += credentials + "@";
    return address + host + ":" + std::to_string(port);
}

text::Text ProxyAddress::shown() const
{
    text::Text address = kind == ProxyKind::Bare ? text::Text() : text::Text(schemeName(kind)) + "://";
    if (!credentials.empty()) {
        const std::size_t colon = credentials.find(':');
        address += credentials.substr(0, colon) + (colon == text::Text::npos ? "" : ":***") + "@";
    }
    return address + host + ":" + std::to_string(port);
}

bool ProxyAddress::carries(std::string_view url) const
{
    return kind != ProxyKind::Bare || !urlIsHttps(url);
}

bool ProxyAddress::tunnels(std::string_view url) const
{
    switch (kind) {
    case ProxyKind::Bare:
        return false;
    case ProxyKind::Http:
    case ProxyKind::Https:
        return urlIsHttps(url);
    case ProxyKind::Socks4:
    case ProxyKind::Socks5:
    case ProxyKind::Socks5Hostname:
        return true;
    }
    return false;
}

ProxyAddressReading readProxyAddress(std::string_view given)
{
    const text::Text address = trimSpaces(given);
    std::string_view rest = address;
    ProxyAddress proxy;
    if (const std::size_t separator = rest.find("://"); separator != std::string_view::npos) {
        const text::Text scheme = text::asciiLower(rest.substr(0, separator));
        bool known = false;
        for (const auto& [name, kind] : kSchemes) {
            if (scheme == name) {
                proxy.kind = kind;
                known = true;
            }
        }
        if (!known)
            return refused(ProxyAddressProblem::UnknownScheme);
        rest.remove_prefix(separator + 3);
    }
    // The last "@" ends the credentials: one in a password that should have been written %40
    // then fails as credentials rather than as a strange host.
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) {
        proxy.credentials = text::Text(rest.substr(0, at));
        if (!validCredentials(proxy.credentials))
            return refused(ProxyAddressProblem::BadCredentials);
        rest.remove_prefix(at + 1);
    }
    if (rest.ends_with('/'))
        rest.remove_suffix(1);
    std::size_t hostEnd = 0;
    if (rest.starts_with('[')) {
        hostEnd = rest.find(']');
        if (hostEnd == std::string_view::npos || !validIpv6(rest.substr(1, hostEnd - 1)))
            return refused(ProxyAddressProblem::BadHost);
        ++hostEnd;
    } else {
        hostEnd = std::min(rest.find(':'), rest.size());
        if (hostEnd == 0)
            return refused(ProxyAddressProblem::NoHost);
        if (!validHostName(rest.substr(0, hostEnd)))
            return refused(ProxyAddressProblem::BadHost);
    }
    proxy.host = text::Text(rest.substr(0, hostEnd));
    if (const ProxyAddressProblem problem = readPort(rest.substr(hostEnd), proxy.port);
        problem != ProxyAddressProblem::None)
        return refused(problem);
    return ProxyAddressReading{std::move(proxy), ProxyAddressProblem::None};
}

std::optional<ProxyAddress> parseProxyAddress(std::string_view given)
{
    return readProxyAddress(given).address;
}

text::Text maskedProxyText(std::string_view given)
{
    const std::size_t separator = given.find("://");
    const std::size_t start = separator == std::string_view::npos ? 0 : separator + 3;
    const std::size_t at = given.rfind('@');
    if (at == std::string_view::npos || at < start)
        return text::Text(given);
    const std::size_t colon = given.find(':', start);
    if (colon == std::string_view::npos || colon > at)
        return text::Text(given);
    return text::Text(given.substr(0, colon + 1)) + "***" + text::Text(given.substr(at));
}

} // namespace tavrin::net
