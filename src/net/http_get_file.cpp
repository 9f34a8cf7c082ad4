#include "net/http_get_file.h"

#include "net/fetch_records.h"
#include "net/http_transfer.h"
#include "net/network_thread.h"
#include "net/transfer_job.h"

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
    return HttpGetFileResponse(url, timeLimit).body;
}

GetFileResponse HttpGetFileResponse(std::string_view url, std::chrono::seconds timeLimit,
                                    std::stop_token stop)
{
    GetFileResponse response;
    if (url.empty())
        return response;
    const Deadline deadline = std::chrono::steady_clock::now() + timeLimit;
    auto job = std::make_shared<TransferJob>(HttpTransfer::forGetFile(Text(url), deadline));
    NetworkThread::instance().submit(job);
    if (!job->waitUntil(deadline, std::move(stop))) {
        job->abandon();
        return response;
    }
    std::optional<FetchResult> result = readResultRecord(job->block());
    if (!result)
        return response;
    response.status = statusCode(result->headerText);
    response.complete = job->bodyComplete();
    response.body = std::move(result->body);
    return response;
}

} // namespace tavrin::net
