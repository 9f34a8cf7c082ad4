// HttpGetFile: the plain GET of a whole file, used for the update notice and the download.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace tavrin::net {

inline constexpr std::chrono::seconds kGetFileTimeLimit{30};

// The body of a GET of `url` (http or https) with its own user agent, HTTP/1.0 and
// "Accept: */*", whatever the status (an error page comes back as its bytes). Empty when the
// URL is empty, no response came, or the time limit passed (counted from the call; nothing
// arriving later is handed out). Bodies beyond 64 MiB are cut there.
[[nodiscard]] std::string HttpGetFile(std::string_view url,
                                      std::chrono::seconds timeLimit = kGetFileTimeLimit);

} // namespace tavrin::net
