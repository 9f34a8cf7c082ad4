// A small HTTP proxy on 127.0.0.1 for the tests of requests through proxies: it forwards
// absolute-URI requests ("GET http://host:port/path HTTP/1.1") and opens CONNECT tunnels. Whatever
// host a client names, it connects to 127.0.0.1 at the port named (80 when none), so names such
// as "slow7.test" stand for services of the test's own and no test ever reaches another machine;
// it notes every destination as asked ("slow7.test:8080").
//
// A request for the proxy itself ("GET / HTTP/1.1") gets a 400 error page, as from most proxies.
// It can also play the proxies that fail: one that asks for credentials (407) unless the
// client sends the ones it was given, and one that takes connections and never says a word.
#pragma once

#include "support/socket_relay.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tavrin::testing_support {

class HttpProxy
{
public:
    enum class Behaviour
    {
        Forward,
        // Reads each request and holds the connection without answering until the client goes.
        Hang,
        // Answers requests for itself, but holds every request for a service (forwarded or
        // CONNECT) without a word: a proxy whose own way out is broken.
        HangForServices,
    };

    explicit HttpProxy(Behaviour behaviour = Behaviour::Forward);
    ~HttpProxy();
    HttpProxy(const HttpProxy&) = delete;
    HttpProxy& operator=(const HttpProxy&) = delete;

    // From now on every request without "Proxy-Authorization: Basic" of `userAndPassword`
    // ("user:password", as the client should send them) is answered 407, forwarded or CONNECT.
    void requireCredentials(const std::string& userAndPassword);

    [[nodiscard]] int port() const { return connections_.port(); }
    // "http://127.0.0.1:PORT", or with another scheme ("127.0.0.1:PORT" for an empty one).
    [[nodiscard]] std::string address(const std::string& scheme = "http") const;
    // The destinations clients asked for, in order ("host:port"), 407 answers included.
    [[nodiscard]] std::vector<std::string> destinations() const;

private:
    void serve(SocketHandle client);
    void note(const std::string& destination);
    [[nodiscard]] bool authorised(const std::string& head) const;

    const Behaviour behaviour_;
    mutable std::mutex mutex_;
    std::vector<std::string> destinations_;          // guarded by mutex_
    std::optional<std::string> expectedCredentials_; // guarded by mutex_: base64 of "user:password"
    // Last: connections are served only while everything above exists.
    LoopbackAcceptor connections_;
};

} // namespace tavrin::testing_support
