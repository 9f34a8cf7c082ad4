#include "support/http_proxy.h"

#include <cctype>
#include <string_view>

namespace tavrin::testing_support {

namespace {

constexpr std::string_view kBadGateway =
    "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
constexpr std::string_view kAskForCredentials = "HTTP/1.1 407 Proxy Authentication Required\r\n"
                                                "Proxy-Authenticate: Basic realm=\"test\"\r\n"
                                                "Content-Length: 0\r\nConnection: close\r\n\r\n";
constexpr std::string_view kTunnelOpen = "HTTP/1.1 200 Connection established\r\n\r\n";
constexpr std::string_view kNotForAProxy =
    "HTTP/1.1 400 Bad Request\r\nContent-Length: 11\r\nConnection: close\r\n\r\nInvalid URL";

std::string base64(std::string_view bytes)
{
    static constexpr std::string_view kDigits =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t left = bytes.size() - at;
        unsigned value = static_cast<unsigned char>(bytes[at]) << 16;
        if (left > 1)
            value |= static_cast<unsigned char>(bytes[at + 1]) << 8;
        if (left > 2)
            value |= static_cast<unsigned char>(bytes[at + 2]);
        encoded += kDigits[(value >> 18) & 63];
        encoded += kDigits[(value >> 12) & 63];
        encoded += left > 1 ? kDigits[(value >> 6) & 63] : '=';
        encoded += left > 2 ? kDigits[value & 63] : '=';
    }
    return encoded;
}

bool startsWithIgnoringCase(std::string_view line, std::string_view prefix)
{
    if (line.size() < prefix.size())
        return false;
    for (std::size_t at = 0; at < prefix.size(); ++at) {
        if (std::tolower(static_cast<unsigned char>(line[at])) !=
            std::tolower(static_cast<unsigned char>(prefix[at])))
            return false;
    }
    return true;
}

// "host:port" (or "[v6]:port") split; the port is `fallback` when none is written.
bool splitAuthority(std::string_view authority, std::string& host, int& port, int fallback)
{
    const std::size_t colon = authority.rfind(':');
    const std::size_t bracket = authority.rfind(']');
    if (colon == std::string_view::npos || (bracket != std::string_view::npos && colon < bracket)) {
        host = std::string(authority);
        port = fallback;
        return !host.empty();
    }
    host = std::string(authority.substr(0, colon));
    try {
        port = std::stoi(std::string(authority.substr(colon + 1)));
    } catch (...) {
        return false;
    }
    return !host.empty() && port > 0 && port < 65536;
}

// The request as the service gets it: the path alone in the request line, the proxy's own lines
// left out, and one request per connection.
std::string forwardedHead(std::string_view head, std::string_view method, std::string_view path,
                          std::string_view version)
{
    std::string forwarded =
        std::string(method) + ' ' + std::string(path) + ' ' + std::string(version) + "\r\n";
    std::size_t at = head.find("\r\n") + 2;
    while (at < head.size()) {
        const std::size_t end = head.find("\r\n", at);
        const std::string_view line = head.substr(at, end - at);
        at = end + 2;
        if (line.empty())
            break;
        if (startsWithIgnoringCase(line, "proxy-") || startsWithIgnoringCase(line, "connection:"))
            continue;
        forwarded += std::string(line) + "\r\n";
    }
    return forwarded + "Connection: close\r\n\r\n";
}

} // namespace

HttpProxy::HttpProxy(Behaviour behaviour)
    : behaviour_(behaviour)
    , connections_([this](SocketHandle client) { serve(client); }, kManyWaiting)
{}

HttpProxy::~HttpProxy() = default;

void HttpProxy::requireCredentials(const std::string& userAndPassword)
{
    const std::lock_guard lock(mutex_);
    expectedCredentials_ = base64(userAndPassword);
}

std::string HttpProxy::address(const std::string& scheme) const
{
    return (scheme.empty() ? "" : scheme + "://") + "127.0.0.1:" + std::to_string(port());
}

std::vector<std::string> HttpProxy::destinations() const
{
    const std::lock_guard lock(mutex_);
    return destinations_;
}

void HttpProxy::note(const std::string& destination)
{
    const std::lock_guard lock(mutex_);
    destinations_.push_back(destination);
}

bool HttpProxy::authorised(const std::string& head) const
{
    const std::lock_guard lock(mutex_);
    if (!expectedCredentials_)
        return true;
    static constexpr std::string_view kField = "proxy-authorization: basic ";
    for (std::size_t at = head.find("\r\n"); at != std::string::npos && at + 2 < head.size();) {
        const std::size_t end = head.find("\r\n", at + 2);
        const std::string_view line = std::string_view(head).substr(at + 2, end - at - 2);
        if (startsWithIgnoringCase(line, kField) && line.substr(kField.size()) == *expectedCredentials_)
            return true;
        at = end;
    }
    return false;
}

void HttpProxy::serve(SocketHandle client)
{
    std::string head;
    if (!readHead(client, head))
        return;
    const std::size_t firstSpace = head.find(' ');
    const std::size_t secondSpace = head.find(' ', firstSpace + 1);
    const std::size_t lineEnd = head.find("\r\n");
    if (firstSpace == std::string::npos || secondSpace == std::string::npos || secondSpace > lineEnd)
        return;
    const std::string method = head.substr(0, firstSpace);
    const std::string target = head.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    const std::string version = head.substr(secondSpace + 1, lineEnd - secondSpace - 1);
    const bool tunnel = method == "CONNECT";
    std::string authority = target;
    std::string path = "/";
    if (!tunnel) {
        const std::size_t scheme = target.find("://");
        // A request for the proxy itself, not for a service: answered as a proxy of the usual
        // kind does, with an error page (unless it hangs).
        if (scheme == std::string::npos) {
            if (behaviour_ == Behaviour::Hang)
                holdUntilClosed(client, connections_.stopping());
            else
                (void)sendAll(client, std::string(kNotForAProxy));
            return;
        }
        authority = target.substr(scheme + 3);
        if (const std::size_t slash = authority.find_first_of("/?"); slash != std::string::npos) {
            path = authority.substr(slash);
            if (path.front() == '?')
                path.insert(path.begin(), '/');
            authority.resize(slash);
        }
    }
    std::string host;
    int port = 0;
    if (!splitAuthority(authority, host, port, 80))
        return;
    note(host + ":" + std::to_string(port));
    if (behaviour_ != Behaviour::Forward) {
        holdUntilClosed(client, connections_.stopping());
        return;
    }
    if (!authorised(head)) {
        (void)sendAll(client, std::string(kAskForCredentials));
        return;
    }
    const SocketHandle service = connectToLoopback(port);
    if (service == kNoSocket) {
        (void)sendAll(client, std::string(kBadGateway));
        return;
    }
    const bool ready = tunnel ? sendAll(client, std::string(kTunnelOpen))
                              : sendAll(service, forwardedHead(head, method, path, version));
    if (ready)
        relay(client, service, connections_.stopping());
    closeSocket(service);
}

} // namespace tavrin::testing_support
