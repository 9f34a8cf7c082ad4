#include "support/raw_server.h"

#include <array>
#include <stdexcept>

namespace tavrin::testing_support {

namespace {

constexpr int kPollMs = 50;

// Content-Length of a request head, 0 when there is none.
std::size_t contentLength(const std::string& head)
{
    std::string lower = head;
    for (char& c : lower)
        c = static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    const std::size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos)
        return 0;
    return static_cast<std::size_t>(std::stoul(head.substr(at + 17)));
}

} // namespace

RawServer RawServer::replying(std::string reply)
{
    return RawServer(Mode::Reply, std::move(reply));
}

RawServer RawServer::silent()
{
    return RawServer(Mode::Silent, {});
}

RawServer RawServer::resetting()
{
    return RawServer(Mode::Reset, {});
}

RawServer RawServer::scripted(Script script)
{
    return RawServer(Mode::Script, {}, std::move(script));
}

RawServer::RawServer(Mode mode, std::string reply, Script script)
    : mode_(mode)
    , reply_(std::move(reply))
    , script_(std::move(script))
{
    listener_ = listenOnLoopback(port_, 16);
    if (listener_ == kNoSocket)
        throw std::runtime_error("the raw test server could not listen on 127.0.0.1");
    thread_ = std::thread([this] { serve(); });
}

RawServer::~RawServer()
{
    ending_.raise();
    thread_.join();
    closeSocket(listener_);
}

std::string RawServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> RawServer::requests() const
{
    const std::lock_guard lock(mutex_);
    return requests_;
}

bool RawServer::waitForRequests(std::size_t count, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
}

bool RawServer::waitForClientClose(std::chrono::milliseconds limit) const
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return closedByClient_ > 0; });
}

void RawServer::serve()
{
    for (;;) {
        std::array<SocketWait, 2> waits = {SocketWait{listener_}, SocketWait{ending_.handle()}};
        if (waitForSockets(waits, -1) < 0)
            continue;
        if (waits[1].ready)
            return;
        const SocketHandle connection = acceptConnection(listener_);
        if (connection == kNoSocket)
            continue;
        if (mode_ == Mode::Script) {
            runScript(connection);
            closeSocket(connection);
            continue;
        }
        // A client may send several requests on one connection (keep-alive).
        for (;;) {
            const std::string request = readRequest(connection);
            if (request.empty())
                break;
            noteRequest(request);
            if (mode_ == Mode::Silent) {
                holdUntilClosed(connection);
                break;
            }
            if (mode_ == Mode::Reset) {
                resetOnClose(connection);
                break;
            }
            (void)sendSome(connection, reply_.data(), reply_.size());
            break; // one request per connection: the reply is followed by a close
        }
        closeSocket(connection);
    }
}

std::string RawServer::readRequest(SocketHandle connection)
{
    std::string received;
    std::size_t wanted = std::string::npos;
    for (;;) {
        if (wanted != std::string::npos && received.size() >= wanted)
            return received;
        std::array<SocketWait, 2> waits = {SocketWait{connection}, SocketWait{ending_.handle()}};
        if (waitForSockets(waits, kPollMs) <= 0)
            continue;
        if (waits[1].ready)
            return {};
        char buffer[4096];
        const long long got = receiveSome(connection, buffer, sizeof buffer);
        if (got <= 0)
            return {};
        received.append(buffer, static_cast<std::size_t>(got));
        const std::size_t headEnd = received.find("\r\n\r\n");
        if (wanted == std::string::npos && headEnd != std::string::npos)
            wanted = headEnd + 4 + contentLength(received.substr(0, headEnd + 2));
    }
}

void RawServer::holdUntilClosed(SocketHandle connection)
{
    for (;;) {
        std::array<SocketWait, 2> waits = {SocketWait{connection}, SocketWait{ending_.handle()}};
        if (waitForSockets(waits, kPollMs) <= 0)
            continue;
        if (waits[1].ready)
            return;
        char buffer[256];
        if (receiveSome(connection, buffer, sizeof buffer) <= 0) {
            noteClientClose();
            return;
        }
    }
}

void RawServer::noteRequest(std::string request)
{
    {
        const std::lock_guard lock(mutex_);
        requests_.push_back(std::move(request));
    }
    changed_.notify_all();
}

void RawServer::noteClientClose()
{
    {
        const std::lock_guard lock(mutex_);
        ++closedByClient_;
    }
    changed_.notify_all();
}

void RawServer::runScript(SocketHandle connection)
{
    // Non-blocking, so a client that stops reading cannot hold a send (and with it the server's
    // end) forever.
    setNonBlocking(connection);
    ScriptedConnection scripted(*this, connection);
    script_(scripted);
    if (scripted.reset_)
        resetOnClose(connection);
}

bool ScriptedConnection::readRequest()
{
    std::string request = server_.readRequest(socket_);
    if (request.empty())
        return false;
    server_.noteRequest(std::move(request));
    return true;
}

bool ScriptedConnection::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        if (gone_)
            return false;
        std::array<SocketWait, 2> waits = {SocketWait{socket_, true}, SocketWait{server_.ending_.handle()}};
        if (waitForSockets(waits, kPollMs) <= 0)
            continue;
        if (waits[1].ready)
            return false;
        const long long sent = sendSome(socket_, bytes.data(), bytes.size());
        if (sent < 0) {
            if (!lastCallWouldBlock())
                clientGone();
            continue;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool ScriptedConnection::pause(std::chrono::milliseconds time)
{
    const auto until = std::chrono::steady_clock::now() + time;
    for (;;) {
        if (gone_)
            return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return true;
        std::array<SocketWait, 2> waits = {SocketWait{socket_}, SocketWait{server_.ending_.handle()}};
        if (waitForSockets(waits, static_cast<int>(left.count())) <= 0)
            continue;
        if (waits[1].ready)
            return false;
        // Whatever the client still sends is read and dropped; an end of stream means it left.
        char scratch[4096];
        const long long got = receiveSome(socket_, scratch, sizeof scratch);
        if (got == 0 || (got < 0 && !lastCallWouldBlock()))
            clientGone();
    }
}

bool ScriptedConnection::holdUntilClosed()
{
    while (pause(std::chrono::seconds(1))) {
    }
    return gone_;
}

void ScriptedConnection::clientGone()
{
    if (gone_)
        return;
    gone_ = true;
    server_.noteClientClose();
}

} // namespace tavrin::testing_support
