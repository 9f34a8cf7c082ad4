#include "net/transfer_socket.h"

#include <winsock2.h>

namespace tavrin::net {

curl_socket_t openUninheritedSocket(int family, int type, int protocol)
{
    // Overlapped, as socket() makes them and curl expects; a socket handle is inheritable unless
    // asked otherwise.
    const SOCKET made =
        ::WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    return made == INVALID_SOCKET ? CURL_SOCKET_BAD : made;
}

} // namespace tavrin::net
