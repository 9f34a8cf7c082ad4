// The program-wide cookie store, DNS cache and TLS session cache.
//
// Every request of the program attaches the same curl share handle, so cookies that one
// response sets are sent back on later requests to that host whichever thread asks, and a
// host is looked up and a TLS session negotiated once rather than per request. The connection
// cache is deliberately not shared: curl 7.88 does not support sharing it between threads, and
// the network thread's multi handle keeps its own.
#pragma once

#include <curl/curl.h>

namespace tavrin::net {

// The share handle, created on first use and kept until the process ends. It carries lock
// callbacks, so easy handles on any thread may use it.
[[nodiscard]] CURLSH* programShare();

// Forgets every stored cookie (tests start from an empty store with it).
void clearCookies();

} // namespace tavrin::net
