#include "support/raw_server.h"

#include <cerrno>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(wakePipe_, O_CLOEXEC) != 0)
        throw std::runtime_error("the raw test server could not listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

RawServer::~RawServer()
{
    (void)!::write(wakePipe_[1], "x", 1);
    thread_.join();
    ::close(listener_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
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
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents != 0)
            return;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        if (mode_ == Mode::Script) {
            runScript(connection);
            ::close(connection);
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
                // Closing with a zero linger time sends a reset instead of an orderly close.
                const linger abort{1, 0};
                ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
                break;
            }
            (void)!::send(connection, reply_.data(), reply_.size(), MSG_NOSIGNAL);
            break; // one request per connection: the reply is followed by a close
        }
        ::close(connection);
    }
}

std::string RawServer::readRequest(int connection)
{
    std::string received;
    std::size_t wanted = std::string::npos;
    for (;;) {
        if (wanted != std::string::npos && received.size() >= wanted)
            return received;
        pollfd fds[2] = {{connection, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, kPollMs) <= 0)
            continue;
        if (fds[1].revents != 0)
            return {};
        char buffer[4096];
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0)
            return {};
        received.append(buffer, static_cast<std::size_t>(got));
        const std::size_t headEnd = received.find("\r\n\r\n");
        if (wanted == std::string::npos && headEnd != std::string::npos)
            wanted = headEnd + 4 + contentLength(received.substr(0, headEnd + 2));
    }
}

void RawServer::holdUntilClosed(int connection)
{
    for (;;) {
        pollfd fds[2] = {{connection, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, kPollMs) <= 0)
            continue;
        if (fds[1].revents != 0)
            return;
        char buffer[256];
        if (::recv(connection, buffer, sizeof buffer, 0) <= 0) {
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

void RawServer::runScript(int connection)
{
    // Non-blocking, so a client that stops reading cannot hold a send (and with it the server's
    // end) forever.
    ::fcntl(connection, F_SETFL, ::fcntl(connection, F_GETFL) | O_NONBLOCK);
    ScriptedConnection scripted(*this, connection);
    script_(scripted);
    if (scripted.reset_) {
        // Closing with a zero linger time sends a reset instead of an orderly close.
        const linger abort{1, 0};
        ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
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
        pollfd fds[2] = {{socket_, POLLOUT, 0}, {server_.wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, kPollMs) <= 0)
            continue;
        if (fds[1].revents != 0)
            return false;
        const ssize_t sent = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
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
        pollfd fds[2] = {{socket_, POLLIN, 0}, {server_.wakePipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(left.count())) <= 0)
            continue;
        if (fds[1].revents != 0)
            return false;
        // Whatever the client still sends is read and dropped; an end of stream means it left.
        char scratch[4096];
        const ssize_t got = ::recv(socket_, scratch, sizeof scratch, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
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
