#include "support/socket_relay.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace tavrin::testing_support {

namespace {

constexpr int kReadLimitMs = 5000;
constexpr std::size_t kHeadLimit = 64 * 1024;

} // namespace

bool readExactly(SocketHandle socket, void* into, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(into);
    std::size_t got = 0;
    while (got < size) {
        SocketWait wait{socket};
        if (waitForSockets({&wait, 1}, kReadLimitMs) <= 0)
            return false;
        const long long step = receiveSome(socket, bytes + got, size - got);
        if (step <= 0)
            return false;
        got += static_cast<std::size_t>(step);
    }
    return true;
}

bool readHead(SocketHandle socket, std::string& head)
{
    // What has arrived is looked at without taking it, and only the head is then taken: nothing
    // after it (a request body, or the first bytes of a tunnel) leaves the socket. (Reading byte
    // by byte would do the same at a system call per byte, which under wine is slow enough to
    // make a proxy look dead.)
    std::array<char, 4096> buffer{};
    while (!head.ends_with("\r\n\r\n")) {
        SocketWait wait{socket};
        if (head.size() >= kHeadLimit || waitForSockets({&wait, 1}, kReadLimitMs) <= 0)
            return false;
        const long long seen = peekSome(socket, buffer.data(), buffer.size());
        if (seen <= 0)
            return false;
        // The end may straddle what was taken before and what waits now.
        const std::size_t kept = std::min<std::size_t>(head.size(), 3);
        const std::string window =
            head.substr(head.size() - kept) + std::string(buffer.data(), static_cast<std::size_t>(seen));
        const std::size_t end = window.find("\r\n\r\n");
        const std::size_t take = end == std::string::npos ? static_cast<std::size_t>(seen) : end + 4 - kept;
        const std::size_t before = head.size();
        head.resize(before + take);
        if (!readExactly(socket, head.data() + before, take))
            return false;
    }
    return true;
}

bool sendAll(SocketHandle socket, const void* from, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(from);
    std::size_t sent = 0;
    while (sent < size) {
        const long long step = sendSome(socket, bytes + sent, size - sent);
        if (step <= 0)
            return false;
        sent += static_cast<std::size_t>(step);
    }
    return true;
}

bool sendAll(SocketHandle socket, const std::string& bytes)
{
    return sendAll(socket, bytes.data(), bytes.size());
}

void relay(SocketHandle client, SocketHandle target, const std::atomic<bool>& stopping)
{
    std::array<char, 16384> buffer{};
    while (!stopping) {
        std::array<SocketWait, 2> ends = {SocketWait{client}, SocketWait{target}};
        if (waitForSockets(ends, 100) < 0)
            return;
        for (std::size_t side = 0; side < ends.size(); ++side) {
            if (!ends[side].ready)
                continue;
            const long long got = receiveSome(ends[side].socket, buffer.data(), buffer.size());
            if (got <= 0 || !sendAll(ends[1 - side].socket, buffer.data(), static_cast<std::size_t>(got)))
                return;
        }
    }
}

void holdUntilClosed(SocketHandle socket, const std::atomic<bool>& stopping)
{
    std::array<char, 4096> buffer{};
    while (!stopping) {
        SocketWait wait{socket};
        if (waitForSockets({&wait, 1}, 100) <= 0)
            continue;
        if (receiveSome(socket, buffer.data(), buffer.size()) <= 0)
            return;
    }
}

SocketHandle listenOrThrow(int& port, int backlog)
{
    const SocketHandle listener = listenOnLoopback(port, backlog);
    if (listener == kNoSocket)
        throw std::runtime_error("a test socket could not listen on 127.0.0.1");
    return listener;
}

FullListener::FullListener()
{
    // With no room for waiting connections beyond the one that fills it, the queue takes no
    // other: further connection attempts go unanswered.
    listener_ = listenOrThrow(port_, 0);
    waiting_ = connectToLoopback(port_);
}

FullListener::~FullListener()
{
    closeSocket(waiting_);
    closeSocket(listener_);
}

LoopbackAcceptor::LoopbackAcceptor(std::function<void(SocketHandle client)> serve, int backlog)
    : serve_(std::move(serve))
{
    listener_ = listenOrThrow(port_, backlog);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackAcceptor::~LoopbackAcceptor()
{
    stopping_ = true;
    shutdownSocket(listener_);
    acceptor_.join();
    closeSocket(listener_);
    for (const auto& connection : connections_)
        connection->thread.join();
}

void LoopbackAcceptor::acceptLoop()
{
    while (!stopping_) {
        SocketWait wait{listener_};
        if (waitForSockets({&wait, 1}, 100) <= 0)
            continue;
        const SocketHandle client = acceptConnection(listener_);
        if (client == kNoSocket)
            continue;
        reapEnded();
        auto connection = std::make_unique<Connection>();
        Connection& started = *connection;
        connections_.push_back(std::move(connection));
        started.thread = std::thread([this, client, &started] {
            serve_(client);
            closeSocket(client);
            started.done = true;
        });
    }
}

void LoopbackAcceptor::reapEnded()
{
    for (auto at = connections_.begin(); at != connections_.end();) {
        if (!(*at)->done) {
            ++at;
            continue;
        }
        (*at)->thread.join();
        at = connections_.erase(at);
    }
}

} // namespace tavrin::testing_support
