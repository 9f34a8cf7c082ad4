#include "net/http_get_file.h"

#include "net/fetch_records.h"
#include "net/http_transfer.h"
#include "net/network_thread.h"
#include "net/transfer_job.h"

namespace tavrin::net {

std::string HttpGetFile(std::string_view url, std::chrono::seconds timeLimit)
{
    if (url.empty())
        return {};
    const Deadline deadline = std::chrono::steady_clock::now() + timeLimit;
    auto job = std::make_shared<TransferJob>(HttpTransfer::forGetFile(Text(url), deadline));
    NetworkThread::instance().submit(job);
    if (!job->waitUntil(deadline, std::stop_token())) {
        job->abandon();
        return {};
    }
    std::optional<FetchResult> result = readResultRecord(job->block());
    return result ? std::move(result->body) : std::string();
}

} // namespace tavrin::net
