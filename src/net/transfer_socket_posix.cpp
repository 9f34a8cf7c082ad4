#include "net/transfer_socket.h"

#include <sys/socket.h>

namespace tavrin::net {

curl_socket_t openUninheritedSocket(int family, int type, int protocol)
{
    return ::socket(family, type | SOCK_CLOEXEC, protocol);
}

} // namespace tavrin::net
