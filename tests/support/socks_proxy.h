// A small SOCKS proxy on 127.0.0.1 (SOCKS4, SOCKS4a and SOCKS5 without authentication, CONNECT
// only) for the tests of requests through proxies. Whatever address a client asks for, it
// connects to 127.0.0.1 at the port asked, so no test ever reaches another machine; it notes the
// address as asked ("www.site.test:8080" when the client left the name to the proxy,
// "127.0.0.1:8080" when it resolved it itself).
#pragma once

#include "support/socket_relay.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tavrin::testing_support {

class SocksProxy
{
public:
    enum class Reply
    {
        // Connects every client as asked; a destination nobody listens at gets SOCKS5's
        // "connection refused" or SOCKS4's "request rejected or failed".
        Connect,
        // Connects no client: SOCKS4's "request rejected or failed" and SOCKS5's "general SOCKS
        // server failure", without trying the destination.
        Reject,
    };

    explicit SocksProxy(Reply reply = Reply::Connect);
    ~SocksProxy();
    SocksProxy(const SocksProxy&) = delete;
    SocksProxy& operator=(const SocksProxy&) = delete;

    // From now on a destination whose name does not end in `suffix` is refused as a proxy's rules
    // refuse it (SOCKS5's "connection not allowed by ruleset", SOCKS4's "request rejected or
    // failed"), without trying it.
    void allowOnlyNamesEndingIn(std::string suffix);

    [[nodiscard]] int port() const { return connections_.port(); }
    // "SCHEME://127.0.0.1:PORT", for socks4, socks5 or socks5h.
    [[nodiscard]] std::string address(const std::string& scheme) const;
    // The addresses clients asked to be connected to, in order.
    [[nodiscard]] std::vector<std::string> destinations() const;

private:
    void serve(SocketHandle client);
    void note(std::string destination);
    [[nodiscard]] bool allows(const std::string& host) const;
    // Notes the destination, connects to it on 127.0.0.1 (unless told to reject), answers the
    // client with what `reply` makes of whether that worked, and relays until either side ends.
    void connectAndRelay(SocketHandle client, const std::string& host, int port,
                         const std::function<std::vector<unsigned char>(bool)>& reply);

    const Reply reply_;
    mutable std::mutex mutex_;
    std::vector<std::string> destinations_;    // guarded by mutex_
    std::optional<std::string> allowedSuffix_; // guarded by mutex_
    // Last: connections are served only while everything above exists.
    LoopbackAcceptor connections_;
};

} // namespace tavrin::testing_support
