#include "support/socket_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <stdexcept>

namespace tavrin::testing_support {

namespace {

constexpr int kReadLimitMs = 5000;
constexpr std::size_t kHeadLimit = 64 * 1024;

} // namespace

bool readExactly(int socket, void* into, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(into);
    std::size_t got = 0;
    while (got < size) {
        pollfd wait{socket, POLLIN, 0};
        if (::poll(&wait, 1, kReadLimitMs) <= 0)
            return false;
        const ssize_t step = ::recv(socket, bytes + got, size - got, 0);
        if (step <= 0)
            return false;
        got += static_cast<std::size_t>(step);
    }
    return true;
}

bool readHead(int socket, std::string& head)
{
    // Byte by byte, so that nothing after the head (a request body, or the first bytes of a
    // tunnel) is taken from the socket.
    while (!head.ends_with("\r\n\r\n")) {
        char c = 0;
        if (head.size() >= kHeadLimit || !readExactly(socket, &c, 1))
            return false;
        head += c;
    }
    return true;
}

bool sendAll(int socket, const void* from, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(from);
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t step = ::send(socket, bytes + sent, size - sent, MSG_NOSIGNAL);
        if (step <= 0)
            return false;
        sent += static_cast<std::size_t>(step);
    }
    return true;
}

bool sendAll(int socket, const std::string& bytes)
{
    return sendAll(socket, bytes.data(), bytes.size());
}

int connectToLoopback(int port)
{
    const int target = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (target >= 0 && ::connect(target, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return target;
    if (target >= 0)
        ::close(target);
    return -1;
}

void relay(int client, int target, const std::atomic<bool>& stopping)
{
    std::array<char, 16384> buffer{};
    while (!stopping) {
        std::array<pollfd, 2> ends = {pollfd{client, POLLIN, 0}, pollfd{target, POLLIN, 0}};
        if (::poll(ends.data(), ends.size(), 100) < 0)
            return;
        for (std::size_t side = 0; side < ends.size(); ++side) {
            if ((ends[side].revents & (POLLIN | POLLHUP | POLLERR)) == 0)
                continue;
            const ssize_t got = ::recv(ends[side].fd, buffer.data(), buffer.size(), 0);
            if (got <= 0 || !sendAll(ends[1 - side].fd, buffer.data(), static_cast<std::size_t>(got)))
                return;
        }
    }
}

void holdUntilClosed(int socket, const std::atomic<bool>& stopping)
{
    std::array<char, 4096> buffer{};
    while (!stopping) {
        pollfd wait{socket, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0)
            continue;
        if (::recv(socket, buffer.data(), buffer.size(), 0) <= 0)
            return;
    }
}

int listenOnLoopback(int& port, int backlog)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, backlog) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener >= 0)
            ::close(listener);
        throw std::runtime_error("a test socket could not listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);
    return listener;
}

FullListener::FullListener()
{
    // With no room for waiting connections beyond the one that fills it, the queue takes no
    // other: further connection attempts go unanswered.
    listener_ = listenOnLoopback(port_, 0);
    waiting_ = connectToLoopback(port_);
}

FullListener::~FullListener()
{
    if (waiting_ >= 0)
        ::close(waiting_);
    ::close(listener_);
}

LoopbackAcceptor::LoopbackAcceptor(std::function<void(int client)> serve, int backlog)
    : serve_(std::move(serve))
{
    listener_ = listenOnLoopback(port_, backlog);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackAcceptor::~LoopbackAcceptor()
{
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
    for (const auto& connection : connections_)
        connection->thread.join();
}

void LoopbackAcceptor::acceptLoop()
{
    while (!stopping_) {
        pollfd wait{listener_, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0)
            continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        reapEnded();
        auto connection = std::make_unique<Connection>();
        Connection& started = *connection;
        connections_.push_back(std::move(connection));
        started.thread = std::thread([this, client, &started] {
            serve_(client);
            ::close(client);
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
