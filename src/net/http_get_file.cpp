#include "net/http_get_file.h"

#include "net/http_transfer.h"
#include "net/transfer_job.h"

#include <algorithm>
#include <charconv>

namespace tavrin::net {

namespace {

// The code of a status line such as "HTTP/1.1 404 Not Found"; 0 when the line has none.
int statusCode(std::string_view headerText)
{
    const std::size_t space = headerText.find(' ');
    if (!headerText.starts_with("HTTP/") || space == std::string_view::npos)
        return 0;
    const std::string_view rest = headerText.substr(space + 1);
    int code = 0;
    const auto [end, error] =
        std::from_chars(rest.data(), rest.data() + std::min<std::size_t>(rest.size(), 3), code);
    return error == std::errc() && end == rest.data() + 3 ? code : 0;
}

} // namespace

std::string httpGetFile(std::string_view url, std::chrono::seconds timeLimit)
{
    return httpGetFileResponse(url, timeLimit).body;
}

GetFileResponse httpGetFileResponse(std::string_view url, std::chrono::seconds timeLimit,
                                    const std::stop_token& stop)
{
    GetFileResponse response;
    if (url.empty())
        return response;
    const Deadline deadline = std::chrono::steady_clock::now() + timeLimit;
    const std::shared_ptr<TransferJob> job = startTransfer(HttpTransfer::forGetFile(Text(url), deadline));
    if (!job->waitUntil(deadline, stop)) {
        job->abandon();
        return response;
    }
    // Moved, not copied: a download of up to 64 MiB is held once.
    TransferOutcome done = job->takeOutcome();
    response.status = statusCode(done.headerText);
    response.complete = done.bodyComplete;
    response.body = std::move(done.body);
    return response;
}

} // namespace tavrin::net
