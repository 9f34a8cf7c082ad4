// Socket steps the test proxies share (socks_proxy.h, http_proxy.h): whole reads and writes with
// a time limit, a connection to 127.0.0.1 (the only machine a test proxy ever connects to), and
// the relay of bytes both ways once a proxy has connected its client.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tavrin::testing_support {

// Reads exactly `size` bytes; false when the peer closed or nothing came for 5 seconds.
bool readExactly(int socket, void* into, std::size_t size);

// Reads up to and including the empty line that ends a request head (at most 64 KiB); false
// when the peer closed, the head grew too long or nothing came for 5 seconds.
bool readHead(int socket, std::string& head);

// Writes all of `size` bytes; false when the peer has gone.
bool sendAll(int socket, const void* from, std::size_t size);
bool sendAll(int socket, const std::string& bytes);

// A connection to 127.0.0.1 at `port`, or -1 when nobody takes it.
int connectToLoopback(int port);

// Copies bytes both ways until either side closes or `stopping` is raised.
void relay(int client, int target, const std::atomic<bool>& stopping);

// Waits until the peer closes or `stopping` is raised, reading and dropping whatever it sends.
void holdUntilClosed(int socket, const std::atomic<bool>& stopping);

// A listening socket on 127.0.0.1 at a port the system picks, `backlog` connections waiting at
// most; throws when none can be had. `port` receives the port.
int listenOnLoopback(int& port, int backlog);

// A listener on 127.0.0.1 that never accepts, with its queue of waiting connections full: a
// connection to it is neither taken nor refused, and times out, as one to a machine that drops
// every packet would.
class FullListener
{
public:
    FullListener();
    ~FullListener();
    FullListener(const FullListener&) = delete;
    FullListener& operator=(const FullListener&) = delete;

    [[nodiscard]] int port() const { return port_; }

private:
    int port_ = 0;
    int listener_ = -1;
    int waiting_ = -1; // the one connection the queue holds
};

// A listener on 127.0.0.1 that hands every connection to `serve` on a thread of its own and
// closes it when `serve` returns. Destroying it raises stopping() and waits for those threads,
// so `serve` must watch stopping() wherever it could wait long.
class LoopbackAcceptor
{
public:
    explicit LoopbackAcceptor(std::function<void(int client)> serve, int backlog);
    ~LoopbackAcceptor();
    LoopbackAcceptor(const LoopbackAcceptor&) = delete;
    LoopbackAcceptor& operator=(const LoopbackAcceptor&) = delete;

    [[nodiscard]] int port() const { return port_; }
    [[nodiscard]] const std::atomic<bool>& stopping() const { return stopping_; }

private:
    struct Connection
    {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void acceptLoop();
    // Joins the threads whose connections have ended, so a long test keeps no more threads
    // than it has connections open. Acceptor thread only.
    void reapEnded();

    const std::function<void(int)> serve_;
    int port_ = 0;
    int listener_ = -1;
    std::atomic<bool> stopping_{false};
    std::list<std::unique_ptr<Connection>> connections_; // acceptor thread, then the destructor
    std::thread acceptor_;
};

} // namespace tavrin::testing_support
