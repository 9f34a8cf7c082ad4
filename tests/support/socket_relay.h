// Socket steps the test proxies share (socks_proxy.h, http_proxy.h): whole reads and writes with
// a time limit, a connection to 127.0.0.1 (the only machine a test proxy ever connects to), and
// the relay of bytes both ways once a proxy has connected its client.
#pragma once

#include "support/test_socket.h"

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
bool readExactly(SocketHandle socket, void* into, std::size_t size);

// Reads up to and including the empty line that ends a request head (at most 64 KiB); false
// when the peer closed, the head grew too long or nothing came for 5 seconds.
bool readHead(SocketHandle socket, std::string& head);

// Writes all of `size` bytes; false when the peer has gone.
bool sendAll(SocketHandle socket, const void* from, std::size_t size);
bool sendAll(SocketHandle socket, const std::string& bytes);

// Copies bytes both ways until either side closes or `stopping` is raised.
void relay(SocketHandle client, SocketHandle target, const std::atomic<bool>& stopping);

// Waits until the peer closes or `stopping` is raised, reading and dropping whatever it sends.
void holdUntilClosed(SocketHandle socket, const std::atomic<bool>& stopping);

// listenOnLoopback, but throws when no socket can be had.
SocketHandle listenOrThrow(int& port, int backlog);

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
    SocketHandle listener_ = kNoSocket;
    SocketHandle waiting_ = kNoSocket; // the one connection the queue holds
};

// A listener on 127.0.0.1 that hands every connection to `serve` on a thread of its own and
// closes it when `serve` returns. Destroying it raises stopping() and waits for those threads,
// so `serve` must watch stopping() wherever it could wait long.
class LoopbackAcceptor
{
public:
    explicit LoopbackAcceptor(std::function<void(SocketHandle client)> serve, int backlog);
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

    const std::function<void(SocketHandle)> serve_;
    int port_ = 0;
    SocketHandle listener_ = kNoSocket;
    std::atomic<bool> stopping_{false};
    std::list<std::unique_ptr<Connection>> connections_; // acceptor thread, then the destructor
    std::thread acceptor_;
};

} // namespace tavrin::testing_support
