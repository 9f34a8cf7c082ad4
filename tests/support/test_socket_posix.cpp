#include "support/test_socket.h"

#include <cerrno>
#include <stdexcept>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavrin::testing_support {

namespace {

int fd(SocketHandle socket)
{
    return static_cast<int>(socket);
}

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

} // namespace

SocketHandle listenOnLoopback(int& port, int backlog)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, backlog) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener >= 0)
            ::close(listener);
        return kNoSocket;
    }
    port = ntohs(address.sin_port);
    return listener;
}

SocketHandle connectToLoopback(int port)
{
    const int target = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    if (target >= 0 && ::connect(target, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return target;
    if (target >= 0)
        ::close(target);
    return kNoSocket;
}

SocketHandle acceptConnection(SocketHandle listener)
{
    const int connection = ::accept4(fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
    return connection < 0 ? kNoSocket : connection;
}

void closeSocket(SocketHandle socket)
{
    if (socket != kNoSocket)
        ::close(fd(socket));
}

void shutdownSocket(SocketHandle socket)
{
    ::shutdown(fd(socket), SHUT_RDWR);
}

void resetOnClose(SocketHandle socket)
{
    // Closing with a zero linger time sends a reset instead of an orderly close.
    const linger abort{1, 0};
    ::setsockopt(fd(socket), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
}

void setNonBlocking(SocketHandle socket)
{
    ::fcntl(fd(socket), F_SETFL, ::fcntl(fd(socket), F_GETFL) | O_NONBLOCK);
}

long long sendSome(SocketHandle socket, const void* from, std::size_t size)
{
    return ::send(fd(socket), from, size, MSG_NOSIGNAL);
}

long long receiveSome(SocketHandle socket, void* into, std::size_t size)
{
    return ::recv(fd(socket), into, size, 0);
}

long long peekSome(SocketHandle socket, void* into, std::size_t size)
{
    return ::recv(fd(socket), into, size, MSG_PEEK);
}

bool lastCallWouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

int waitForSockets(std::span<SocketWait> waits, int milliseconds)
{
    std::vector<pollfd> polled;
    polled.reserve(waits.size());
    for (const SocketWait& wait : waits)
        polled.push_back({fd(wait.socket), static_cast<short>(wait.forWriting ? POLLOUT : POLLIN), 0});
    const int ready = ::poll(polled.data(), polled.size(), milliseconds);
    for (std::size_t at = 0; at < waits.size(); ++at)
        waits[at].ready = ready > 0 && polled[at].revents != 0;
    return ready;
}

WakeSignal::WakeSignal()
{
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe for a test server's wake-up");
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
}

WakeSignal::~WakeSignal()
{
    ::close(fd(readEnd_));
    ::close(fd(writeEnd_));
}

void WakeSignal::raise()
{
    (void)!::write(fd(writeEnd_), "x", 1);
}

} // namespace tavrin::testing_support
