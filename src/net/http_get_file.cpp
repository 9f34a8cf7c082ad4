#include "net/http_get_file.h"

#include "net/http_post.h"
#include "net/http_transfer.h"
#include "net/transfer_job.h"

namespace tavrin::net {

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
    response.status = statusOfHeader(done.headerText);
    response.complete = done.bodyComplete;
    response.body = std::move(done.body);
    return response;
}

} // namespace tavrin::net
