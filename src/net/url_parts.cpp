#include "net/url_parts.h"

#include "text/number_text.h"

namespace tavrin::net {

namespace {

constexpr std::string_view kHttp = "http://";
constexpr std::string_view kHttps = "https://";
constexpr int kHttpPort = 80;
constexpr int kHttpsPort = 443;

struct Authority
{
    bool https = false;
    std::size_t begin = 0; // zero-based offset of the host
    std::size_t end = 0;   // offset just past host and port
};

// '/', '?', '#', ':', '[' and ']' lie below 0x40, so they are never the second byte of a GBK
// character and a plain byte search finds only real ones.
Authority findAuthority(std::string_view url)
{
    Authority authority;
    const long long http = text::find(url, kHttp, 1, text::CaseMode::AsciiInsensitive);
    const long long https = text::find(url, kHttps, 1, text::CaseMode::AsciiInsensitive);
    if (https > 0 && (http < 0 || https < http)) {
        authority.https = true;
        authority.begin = static_cast<std::size_t>(https - 1) + kHttps.size();
    } else if (http > 0) {
        authority.begin = static_cast<std::size_t>(http - 1) + kHttp.size();
    }
    const std::size_t end = url.find_first_of("/?#", authority.begin);
    authority.end = end == std::string_view::npos ? url.size() : end;
    return authority;
}

// Offset of the ":" before the port in "host:port" or "[v6]:port", or npos.
std::size_t portColon(std::string_view hostAndPort)
{
    std::size_t searchFrom = 0;
    if (!hostAndPort.empty() && hostAndPort.front() == '[') {
        const std::size_t close = hostAndPort.find(']');
        if (close != std::string_view::npos)
            searchFrom = close + 1;
    }
    return hostAndPort.find(':', searchFrom);
}

bool mustEscape(unsigned char byte)
{
    return byte <= 0x20 || byte == 0x7F;
}

} // namespace

Text urlHost(std::string_view url, bool keepPort)
{
    const Authority authority = findAuthority(url);
    std::string_view host = url.substr(authority.begin, authority.end - authority.begin);
    if (!keepPort)
        host = host.substr(0, portColon(host));
    return text::asciiLower(host);
}

int urlPort(std::string_view url)
{
    const int defaultPort = urlIsHttps(url) ? kHttpsPort : kHttpPort;
    const Text hostAndPort = urlHost(url, true);
    const std::size_t colon = portColon(hostAndPort);
    if (colon == std::string_view::npos)
        return defaultPort;
    const int port = text::intFromText(std::string_view(hostAndPort).substr(colon + 1));
    return port == 0 ? defaultPort : port;
}

Text urlPath(std::string_view url)
{
    const Authority authority = findAuthority(url);
    if (authority.end == url.size())
        return "/";
    const std::string_view rest = url.substr(authority.end);
    if (rest.front() == '/')
        return Text(rest);
    return "/" + Text(rest);
}

bool urlIsHttps(std::string_view url)
{
    return findAuthority(url).https;
}

Text requestUrl(std::string_view url)
{
    const bool https = urlIsHttps(url);
    Text result(https ? kHttps : kHttp);
    result += urlHost(url);
    const int port = urlPort(url);
    if (port != (https ? kHttpsPort : kHttpPort)) {
        result += ':';
        result += text::decimal(port);
    }
    const Text path = urlPath(url);
    // '#' is below 0x40 as well, so the byte search cannot hit a double-byte character.
    const std::string_view withoutFragment = std::string_view(path).substr(0, path.find('#'));
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : withoutFragment) {
        const auto byte = static_cast<unsigned char>(c);
        if (mustEscape(byte)) {
            result += '%';
            result += kHex[byte >> 4];
            result += kHex[byte & 0x0F];
        } else {
            result += c;
        }
    }
    return result;
}

} // namespace tavrin::net
