#include "support/socks_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>

namespace tavrin::testing_support {

namespace {

// Reads exactly `size` bytes; false when the peer closed or the wait ran out.
bool readExactly(int socket, void* into, std::size_t size)
{
    auto* bytes = static_cast<unsigned char*>(into);
    std::size_t got = 0;
    while (got < size) {
        pollfd wait{socket, POLLIN, 0};
        if (::poll(&wait, 1, 5000) <= 0)
            return false;
        const ssize_t step = ::recv(socket, bytes + got, size - got, 0);
        if (step <= 0)
            return false;
        got += static_cast<std::size_t>(step);
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

// Bytes until a NUL (SOCKS4's user id and host name).
bool readUntilNul(int socket, std::string& text)
{
    for (char c = 1; text.size() < 256;) {
        if (!readExactly(socket, &c, 1))
            return false;
        if (c == '\0')
            return true;
        text += c;
    }
    return false;
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

// Copies bytes both ways until either side closes or the proxy ends.
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

} // namespace

SocksProxy::SocksProxy()
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, SOMAXCONN) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the test SOCKS proxy could not listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

SocksProxy::~SocksProxy()
{
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    ::close(listener_);
    std::vector<std::thread> connections;
    {
        const std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (std::thread& connection : connections)
        connection.join();
}

std::string SocksProxy::address(const std::string& scheme) const
{
    return scheme + "://127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> SocksProxy::destinations() const
{
    const std::lock_guard lock(mutex_);
    return destinations_;
}

void SocksProxy::note(std::string destination)
{
    const std::lock_guard lock(mutex_);
    destinations_.push_back(std::move(destination));
}

void SocksProxy::acceptLoop()
{
    while (!stopping_) {
        pollfd wait{listener_, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0)
            continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        const std::lock_guard lock(mutex_);
        connections_.emplace_back([this, client] {
            serve(client);
            ::close(client);
        });
    }
}

void SocksProxy::serve(int client)
{
    unsigned char version = 0;
    if (!readExactly(client, &version, 1))
        return;
    int port = 0;
    if (version == 4) {
        std::array<unsigned char, 7> request{}; // command, port, address
        std::string user;
        if (!readExactly(client, request.data(), request.size()) || !readUntilNul(client, user))
            return;
        port = request[1] << 8 | request[2];
        std::string host = std::to_string(request[3]) + "." + std::to_string(request[4]) + "." +
                           std::to_string(request[5]) + "." + std::to_string(request[6]);
        // SOCKS4a: an address of 0.0.0.x means the host name follows.
        if (request[3] == 0 && request[4] == 0 && request[5] == 0 && request[6] != 0) {
            host.clear();
            if (!readUntilNul(client, host))
                return;
        }
        connectAndRelay(client, host, port, [](bool connected) {
            return std::vector<unsigned char>{
                0, static_cast<unsigned char>(connected ? 0x5A : 0x5B), 0, 0, 0, 0, 0, 0};
        });
        return;
    }
    if (version != 5)
        return;
    unsigned char methodCount = 0;
    std::array<unsigned char, 255> methods{};
    if (!readExactly(client, &methodCount, 1) || !readExactly(client, methods.data(), methodCount))
        return;
    const std::array<unsigned char, 2> noAuthentication = {5, 0};
    std::array<unsigned char, 4> request{}; // version, command, reserved, address type
    if (!sendAll(client, noAuthentication.data(), noAuthentication.size()) ||
        !readExactly(client, request.data(), request.size()))
        return;
    std::string host;
    if (request[3] == 1) {
        std::array<unsigned char, 4> ip{};
        if (!readExactly(client, ip.data(), ip.size()))
            return;
        host = std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
               std::to_string(ip[3]);
    } else if (request[3] == 3) {
        unsigned char length = 0;
        if (!readExactly(client, &length, 1))
            return;
        host.resize(length);
        if (!readExactly(client, host.data(), length))
            return;
    } else {
        return;
    }
    std::array<unsigned char, 2> portBytes{};
    if (!readExactly(client, portBytes.data(), portBytes.size()))
        return;
    port = portBytes[0] << 8 | portBytes[1];
    connectAndRelay(client, host, port, [](bool connected) {
        return std::vector<unsigned char>{
            5, static_cast<unsigned char>(connected ? 0 : 5), 0, 1, 0, 0, 0, 0, 0, 0};
    });
}

void SocksProxy::connectAndRelay(int client, const std::string& host, int port,
                                 const std::function<std::vector<unsigned char>(bool)>& reply)
{
    note(host + ":" + std::to_string(port));
    const int target = connectToLoopback(port);
    const std::vector<unsigned char> answer = reply(target >= 0);
    if (sendAll(client, answer.data(), answer.size()) && target >= 0)
        relay(client, target, stopping_);
    if (target >= 0)
        ::close(target);
}

} // namespace tavrin::testing_support
