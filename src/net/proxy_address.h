// The proxy a request goes through, as the user gives it: "[SCHEME://][USER[:PASSWORD]@]HOST:PORT".
//
// A bare "HOST:PORT" is an HTTP proxy for http addresses only (https goes direct), as it always
// was. With a scheme it names its kind, and every kind carries every address: HTTP and HTTPS
// proxies forward http requests and open a CONNECT tunnel for https ones; SOCKS proxies tunnel
// everything (socks5h leaves the host name to the proxy). A request through a tunnel is the
// proxy's business only until the tunnel is open; what comes through it is the service's.
//
// Reading is strict, so that a typing slip is refused before anything is sent rather than
// failing every row: a host name (letters, digits, "-", "_" and dots), an IPv4 address or an IPv6
// address in brackets, a port from 1 to 65535, and credentials in which "@ : / ? # %" and spaces
// are percent-encoded (decoded by curl, as in any URL; a control character is refused, as curl
// does). A "/" may end the address; nothing else may follow the port.
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
    // As written; an IPv6 address keeps its brackets.
    text::Text host;
    int port = 0;
    // "USER" or "USER:PASSWORD" as written (percent-encoded); empty without credentials.
    text::Text credentials;

    // What libcurl is given: the scheme (http for a bare address), the credentials, the host and
    // the port.
    [[nodiscard]] text::Text forCurl() const;
    // The address for people to read: never the password ("user:***@host:port").
    [[nodiscard]] text::Text shown() const;
    // Whether a request for `url` goes through this proxy.
    [[nodiscard]] bool carries(std::string_view url) const;
    // Whether a request for `url` goes through a tunnel of this proxy (SOCKS, or CONNECT for https
    // through an HTTP or HTTPS proxy) rather than being forwarded by it.
    [[nodiscard]] bool tunnels(std::string_view url) const;

    friend bool operator==(const ProxyAddress&, const ProxyAddress&) = default;
};

// Why a text is no proxy address.
enum class ProxyAddressProblem
{
    None,
    UnknownScheme,  // not http, https, socks4, socks5 or socks5h
    NoHost,         // nothing where the host should be
    BadHost,        // not a host name, an IPv4 address or an IPv6 address in brackets
    NoPort,         // HOST without ":PORT"
    BadPort,        // not a number from 1 to 65535
    BadCredentials, // an empty user name, a byte that must be percent-encoded, a broken "%XX"
    TextAfterPort,  // anything but a final "/" after the port
};

struct ProxyAddressReading
{
    std::optional<ProxyAddress> address;
    ProxyAddressProblem problem = ProxyAddressProblem::None;
};

// Reads the proxy `given` names, spaces around it ignored. An empty text is no proxy, which is
// not an error: the caller checks for it first (it reads as NoHost).
[[nodiscard]] ProxyAddressReading readProxyAddress(std::string_view given);

// The same, without the reason.
[[nodiscard]] std::optional<ProxyAddress> parseProxyAddress(std::string_view given);

// `given` as a message may show it, whether it reads as a proxy address or not: whatever stands
// between the first ":" of its credentials and the last "@" is shown as "***".
[[nodiscard]] text::Text maskedProxyText(std::string_view given);

} // namespace tavrin::net
