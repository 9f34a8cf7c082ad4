#include "net/transfer_socket.h"

// The same socket calls on both systems, declared in different headers (Winsock's socklen_t is
// an int).
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace tavrin::net {

bool connectedToPort(curl_socket_t socket, int port)
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return false;
    if (peer.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&peer)->sin_port) == port;
    if (peer.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_port) == port;
    return false;
}

} // namespace tavrin::net
