// A small SOCKS proxy on 127.0.0.1 (SOCKS4, SOCKS4a and SOCKS5 without authentication, CONNECT
// only) for the tests of requests through proxies. Whatever address a client asks for, it
// connects to 127.0.0.1 at the port asked, so no test ever reaches another machine; it notes the
// address as asked ("www.site.test:8080" when the client left the name to the proxy,
// "127.0.0.1:8080" when it resolved it itself).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavrin::testing_support {

class SocksProxy
{
public:
    SocksProxy();
    ~SocksProxy();
    SocksProxy(const SocksProxy&) = delete;
    SocksProxy& operator=(const SocksProxy&) = delete;

    [[nodiscard]] int port() const { return port_; }
    // "SCHEME://127.0.0.1:PORT", for socks4, socks5 or socks5h.
    [[nodiscard]] std::string address(const std::string& scheme) const;
    // The addresses clients asked to be connected to, in order.
    [[nodiscard]] std::vector<std::string> destinations() const;

private:
    void acceptLoop();
    void serve(int client);
    void note(std::string destination);
    // Notes the destination, connects to it on 127.0.0.1, answers the client with what `reply`
    // makes of whether that worked, and relays until either side ends.
    void connectAndRelay(int client, const std::string& host, int port,
                         const std::function<std::vector<unsigned char>(bool)>& reply);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> destinations_; // guarded by mutex_
    std::vector<std::thread> connections_;  // guarded by mutex_
    std::thread acceptor_;
};

} // namespace tavrin::testing_support
