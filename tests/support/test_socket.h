// The socket calls of the test servers and proxies, over POSIX sockets or Winsock, so that the
// servers read the same on both systems (test_socket_posix.cpp, test_socket_win.cpp). Every
// socket is on 127.0.0.1, and none is handed to a child process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tavrin::testing_support {

// A descriptor on POSIX, a SOCKET on Windows; both fit, and kNoSocket is neither.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// A backlog for servers that dozens of test clients connect to at once (the system caps it).
inline constexpr int kManyWaiting = 4096;

// A listening socket on 127.0.0.1 at a port the system picks, `backlog` connections waiting at
// most; kNoSocket when none can be had. `port` receives the port.
[[nodiscard]] SocketHandle listenOnLoopback(int& port, int backlog);

// A connection to 127.0.0.1 at `port`, or kNoSocket when nobody takes it.
[[nodiscard]] SocketHandle connectToLoopback(int port);

// The next waiting connection of `listener`, or kNoSocket.
[[nodiscard]] SocketHandle acceptConnection(SocketHandle listener);

void closeSocket(SocketHandle socket);

// Ends both directions at once; a thread waiting on the socket sees it end.
void shutdownSocket(SocketHandle socket);

// The close that follows sends a reset instead of an orderly end.
void resetOnClose(SocketHandle socket);

// From now on sends and receives return at once instead of waiting (lastCallWouldBlock()).
void setNonBlocking(SocketHandle socket);

// Bytes sent (never raising a signal when the peer has gone), or -1.
[[nodiscard]] long long sendSome(SocketHandle socket, const void* from, std::size_t size);

// Bytes received, 0 when the peer has closed its end, or -1.
[[nodiscard]] long long receiveSome(SocketHandle socket, void* into, std::size_t size);

// receiveSome, but what is received stays in the socket for the next receive.
[[nodiscard]] long long peekSome(SocketHandle socket, void* into, std::size_t size);

// Whether the last send or receive that failed on this thread only found a non-blocking socket
// not ready (or was interrupted), rather than a connection gone.
[[nodiscard]] bool lastCallWouldBlock();

// One socket to wait for: readable (or closed, or failed), or writable when `forWriting`.
struct SocketWait
{
    SocketHandle socket = kNoSocket;
    bool forWriting = false;
    bool ready = false; // set by waitForSockets
};

// Waits until one of `waits` is ready or `milliseconds` pass (-1: no limit). How many are
// ready, 0 when the time ran out, -1 when the wait failed.
int waitForSockets(std::span<SocketWait> waits, int milliseconds);

// A signal that one thread raises to wake another waiting on sockets: its handle is waited on
// beside them and turns readable once raised, and stays so.
class WakeSignal
{
public:
    WakeSignal(); // throws when the system gives nothing to wait on
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    void raise();
    [[nodiscard]] SocketHandle handle() const { return readEnd_; }

private:
    SocketHandle readEnd_ = kNoSocket;
    SocketHandle writeEnd_ = kNoSocket;
};

} // namespace tavrin::testing_support
