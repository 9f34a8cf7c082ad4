// The proxy a request goes through, as the user gives it: a bare "host:port" is an HTTP proxy
// for http addresses only (https goes direct), as it always was; with a scheme it names its
// kind. HTTP and HTTPS proxies carry http addresses; SOCKS proxies carry every address, https
// included (the TLS runs inside the tunnel). socks5h lets the proxy resolve the host name.
#pragma once

#include "text/gbk_text.h"

#include <optional>
#include <string_view>

namespace tavrin::net {

enum class ProxyKind
{
    Bare,
    Http,
    Https,
    Socks4,
    Socks5,
    Socks5Hostname,
};

struct ProxyAddress
{
    ProxyKind kind = ProxyKind::Bare;
    // What libcurl is given: the address as written, scheme included.
    text::Text address;

    // Whether a request for `url` goes through this proxy.
    [[nodiscard]] bool carries(std::string_view url) const;
};

// The proxy `given` names (spaces around it ignored); nothing for a scheme other than http,
// https, socks4, socks5 and socks5h, or a scheme with no host after it. An empty text is no
// proxy, which is not an error: the caller checks for it first.
[[nodiscard]] std::optional<ProxyAddress> parseProxyAddress(std::string_view given);

} // namespace tavrin::net
