// The sockets curl opens for a transfer, made by the program (CURLOPT_OPENSOCKETFUNCTION) so that
// no program started meanwhile inherits them, and what is asked of them while a proxy connects.
#pragma once

#include <curl/curl.h>

namespace tavrin::net {

// A socket of `family`, `type` and `protocol` that a child process does not inherit (the browser
// that 打开网址 opens must not hold a connection open after the transfer has let go of it);
// CURL_SOCKET_BAD when the system refuses one.
[[nodiscard]] curl_socket_t openUninheritedSocket(int family, int type, int protocol);

// The socket is connected, to a peer at `port`: the port tells the proxy's connection from a
// socket that took over the number of one curl closed meanwhile.
[[nodiscard]] bool connectedToPort(curl_socket_t socket, int port);

} // namespace tavrin::net
