#include "support/socks_proxy.h"

#include "support/socket_relay.h"

#include <array>
#include <functional>

namespace tavrin::testing_support {

namespace {

// Bytes until a NUL (SOCKS4's user id and host name).
bool readUntilNul(SocketHandle socket, std::string& text)
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

} // namespace

SocksProxy::SocksProxy(Reply reply)
    : reply_(reply)
    , connections_([this](SocketHandle client) { serve(client); }, kManyWaiting)
{}

SocksProxy::~SocksProxy() = default;

std::string SocksProxy::address(const std::string& scheme) const
{
    return scheme + "://127.0.0.1:" + std::to_string(port());
}

std::vector<std::string> SocksProxy::destinations() const
{
    const std::lock_guard lock(mutex_);
    return destinations_;
}

void SocksProxy::allowOnlyNamesEndingIn(std::string suffix)
{
    const std::lock_guard lock(mutex_);
    allowedSuffix_ = std::move(suffix);
}

bool SocksProxy::allows(const std::string& host) const
{
    const std::lock_guard lock(mutex_);
    return !allowedSuffix_ || host.ends_with(*allowedSuffix_);
}

void SocksProxy::note(std::string destination)
{
    const std::lock_guard lock(mutex_);
    destinations_.push_back(std::move(destination));
}

void SocksProxy::serve(SocketHandle client)
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
    const unsigned char failure = reply_ == Reply::Reject ? 1 : !allows(host) ? 2 : 5;
    connectAndRelay(client, host, port, [failure](bool connected) {
        return std::vector<unsigned char>{
            5, static_cast<unsigned char>(connected ? 0 : failure), 0, 1, 0, 0, 0, 0, 0, 0};
    });
}

void SocksProxy::connectAndRelay(SocketHandle client, const std::string& host, int port,
                                 const std::function<std::vector<unsigned char>(bool)>& reply)
{
    note(host + ":" + std::to_string(port));
    const SocketHandle target =
        reply_ == Reply::Reject || !allows(host) ? kNoSocket : connectToLoopback(port);
    const std::vector<unsigned char> answer = reply(target != kNoSocket);
    if (sendAll(client, answer.data(), answer.size()) && target != kNoSocket)
        relay(client, target, connections_.stopping());
    closeSocket(target);
}

} // namespace tavrin::testing_support
