// Splitting a request URL into host, port and path.
//
// The address starts after the first "http://" or "https://" in the URL (either scheme, any
// letter case); without one it starts at the beginning and is treated as http. The host part
// runs to the first "/", "?" or "#" after that. All routines work on GBK bytes and never cut a
// double-byte character.
#pragma once

#include "text/gbk_text.h"

#include <string_view>

namespace tavrin::net {

using text::Text;

// The host of the URL with ASCII letters lowered; with keepPort, the ":" and port written in
// the URL stay attached. An IPv6 address keeps its brackets.
[[nodiscard]] Text urlHost(std::string_view url, bool keepPort = false);

// The port written in the URL, read as a number the way users type numbers (full-width digits
// allowed). 80 for http and 443 for https when none is written or it reads as 0.
[[nodiscard]] int urlPort(std::string_view url);

// The path with query and fragment, as it goes into the request line; "/" when the URL has
// none, and a query straight after the host gets its "/" in front ("/?q=1").
[[nodiscard]] Text urlPath(std::string_view url);

// True when the URL is requested over TLS (its scheme is https).
[[nodiscard]] bool urlIsHttps(std::string_view url);

// The URL as handed to the transfer: scheme, lowered host, the port when it is not the
// scheme's default, and the path with its fragment dropped. Spaces and control bytes in the
// path are percent-encoded because they cannot stand in a request line; every other byte,
// GBK bytes included, goes out as written.
[[nodiscard]] Text requestUrl(std::string_view url);

} // namespace tavrin::net
