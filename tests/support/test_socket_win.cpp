#include "support/test_socket.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include <winsock2.h>
#include <ws2tcpip.h>

namespace tavrin::testing_support {

namespace {

// Winsock is usable between WSAStartup and WSACleanup: one guard for the process, made on the
// first socket call and ended with the process, after every test server has gone.
class WinsockSession
{
public:
    WinsockSession()
    {
        WSADATA data{};
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
            throw std::runtime_error("Winsock could not start for the test servers");
    }
    ~WinsockSession() { ::WSACleanup(); }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
};

void useWinsock()
{
    static const WinsockSession session;
}

SOCKET native(SocketHandle socket)
{
    return static_cast<SOCKET>(socket);
}

SocketHandle handleOf(SOCKET socket)
{
    return socket == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(socket);
}

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<u_short>(port));
    return address;
}

// A TCP socket that no child process inherits.
SOCKET newSocket()
{
    useWinsock();
    return ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

} // namespace

SocketHandle listenOnLoopback(int& port, int backlog)
{
    const SOCKET listener = newSocket();
    sockaddr_in address = loopback(0);
    int length = sizeof address;
    if (listener == INVALID_SOCKET ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, backlog) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener != INVALID_SOCKET)
            ::closesocket(listener);
        return kNoSocket;
    }
    port = ntohs(address.sin_port);
    return handleOf(listener);
}

SocketHandle connectToLoopback(int port)
{
    const SOCKET target = newSocket();
    const sockaddr_in address = loopback(port);
    if (target != INVALID_SOCKET &&
        ::connect(target, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return handleOf(target);
    if (target != INVALID_SOCKET)
        ::closesocket(target);
    return kNoSocket;
}

SocketHandle acceptConnection(SocketHandle listener)
{
    const SOCKET connection = ::accept(native(listener), nullptr, nullptr);
    if (connection == INVALID_SOCKET)
        return kNoSocket;
    ::SetHandleInformation(reinterpret_cast<HANDLE>(connection), HANDLE_FLAG_INHERIT, 0);
    return handleOf(connection);
}

void closeSocket(SocketHandle socket)
{
    if (socket != kNoSocket)
        ::closesocket(native(socket));
}

void shutdownSocket(SocketHandle socket)
{
    ::shutdown(native(socket), SD_BOTH);
}

void resetOnClose(SocketHandle socket)
{
    // Closing with a zero linger time sends a reset instead of an orderly close.
    const linger abort{1, 0};
    ::setsockopt(native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
}

void setNonBlocking(SocketHandle socket)
{
    u_long on = 1;
    ::ioctlsocket(native(socket), FIONBIO, &on);
}

long long sendSome(SocketHandle socket, const void* from, std::size_t size)
{
    // Winsock raises no signal for a peer that has gone; a send is limited to an int's size.
    const int step = static_cast<int>(std::min<std::size_t>(size, 1 << 30));
    return ::send(native(socket), static_cast<const char*>(from), step, 0);
}

long long receiveSome(SocketHandle socket, void* into, std::size_t size)
{
    const int step = static_cast<int>(std::min<std::size_t>(size, 1 << 30));
    return ::recv(native(socket), static_cast<char*>(into), step, 0);
}

long long peekSome(SocketHandle socket, void* into, std::size_t size)
{
    const int step = static_cast<int>(std::min<std::size_t>(size, 1 << 30));
    return ::recv(native(socket), static_cast<char*>(into), step, MSG_PEEK);
}

bool lastCallWouldBlock()
{
    const int error = ::WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINTR;
}

int waitForSockets(std::span<SocketWait> waits, int milliseconds)
{
    std::vector<WSAPOLLFD> polled;
    polled.reserve(waits.size());
    for (const SocketWait& wait : waits)
        polled.push_back({native(wait.socket), static_cast<SHORT>(wait.forWriting ? POLLOUT : POLLIN), 0});
    const int ready = ::WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), milliseconds);
    for (std::size_t at = 0; at < waits.size(); ++at)
        waits[at].ready = ready > 0 && polled[at].revents != 0;
    return ready == SOCKET_ERROR ? -1 : ready;
}

// Windows has no pipe that a socket wait can watch: the signal is a connected pair of sockets
// on 127.0.0.1, and raising it sends one byte across.
WakeSignal::WakeSignal()
{
    int port = 0;
    const SocketHandle listener = listenOnLoopback(port, 1);
    if (listener != kNoSocket) {
        writeEnd_ = connectToLoopback(port);
        if (writeEnd_ != kNoSocket)
            readEnd_ = acceptConnection(listener);
        closeSocket(listener);
    }
    if (readEnd_ == kNoSocket) {
        closeSocket(writeEnd_);
        throw std::runtime_error("no socket pair for a test server's wake-up");
    }
}

WakeSignal::~WakeSignal()
{
    closeSocket(readEnd_);
    closeSocket(writeEnd_);
}

void WakeSignal::raise()
{
    (void)sendSome(writeEnd_, "x", 1);
}

} // namespace tavrin::testing_support
