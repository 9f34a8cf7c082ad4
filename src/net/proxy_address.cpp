#include "net/proxy_address.h"

#include "net/request_headers.h"
#include "net/url_parts.h"
#include "text/gbk_text.h"

#include <array>
#include <utility>

namespace tavrin::net {

bool ProxyAddress::carries(std::string_view url) const
{
    switch (kind) {
    case ProxyKind::Bare:
    case ProxyKind::Http:
    case ProxyKind::Https:
        return !urlIsHttps(url);
    case ProxyKind::Socks4:
    case ProxyKind::Socks5:
    case ProxyKind::Socks5Hostname:
        return true;
    }
    return false;
}

std::optional<ProxyAddress> parseProxyAddress(std::string_view given)
{
    const text::Text address = trimSpaces(given);
    const std::size_t separator = address.find("://");
    if (separator == text::Text::npos)
        return ProxyAddress{ProxyKind::Bare, address};
    static constexpr std::array<std::pair<std::string_view, ProxyKind>, 5> kSchemes = {{
        {"http", ProxyKind::Http},
        {"https", ProxyKind::Https},
        {"socks4", ProxyKind::Socks4},
        {"socks5", ProxyKind::Socks5},
        {"socks5h", ProxyKind::Socks5Hostname},
    }};
    const text::Text scheme = text::asciiLower(std::string_view(address).substr(0, separator));
    if (address.size() == separator + 3)
        return std::nullopt;
    for (const auto& [name, kind] : kSchemes) {
        if (scheme == name)
            return ProxyAddress{kind, address};
    }
    return std::nullopt;
}

} // namespace tavrin::net
