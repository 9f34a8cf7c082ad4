// httpGetFile: the plain GET of a whole file, used for the update notice and the download.
#pragma once

#include <chrono>
#include <stop_token>
#include <string>
#include <string_view>

namespace tavrin::net {

inline constexpr std::chrono::seconds kGetFileTimeLimit{30};

// The body of a GET of `url` (http or https) with its own user agent, HTTP/1.0 and
// "Accept: */*", whatever the status (an error page comes back as its bytes). Empty when the
// URL is empty, no response came, or the time limit passed (counted from the call; nothing
// arriving later is handed out). Bodies beyond 64 MiB are cut there.
[[nodiscard]] std::string httpGetFile(std::string_view url,
                                      std::chrono::seconds timeLimit = kGetFileTimeLimit);

// How the same GET ended, for callers that must not take an error page or a cut-off body for
// the file they asked for.
struct GetFileResponse
{
    // The status code of the final response (after redirects); 0 when no response came.
    int status = 0;
    // The body arrived whole: the transfer ended cleanly, neither cut at the 64 MiB cap nor
    // cut short by the connection.
    bool complete = false;
    std::string body;

    // A complete response with a 2xx status: the only kind whose body is the file itself.
    [[nodiscard]] bool succeeded() const noexcept { return complete && status >= 200 && status <= 299; }
};

// The GET of httpGetFile with what it leaves out. `stop` ends the wait early, as the limit
// does: the transfer is cancelled and the result is empty (status 0).
[[nodiscard]] GetFileResponse httpGetFileResponse(std::string_view url,
                                                  std::chrono::seconds timeLimit = kGetFileTimeLimit,
                                                  const std::stop_token& stop = {});

} // namespace tavrin::net
