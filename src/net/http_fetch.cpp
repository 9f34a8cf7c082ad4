#include "net/http_fetch.h"

#include "net/fetch_records.h"
#include "net/network_thread.h"
#include "net/request_headers.h"
#include "net/transfer_job.h"

namespace tavrin::net {

std::shared_ptr<TransferJob> startFetch(FetchBlock& block, std::optional<Deadline> deadline)
{
    std::optional<FetchRequest> request = readRequestRecord(block);
    if (!request)
        return nullptr;
    block.clear();
    const std::optional<FetchMethod> method = parseMethod(request->method);
    if (!method)
        return nullptr;
    auto job = std::make_shared<TransferJob>(HttpTransfer::forFetch(std::move(*request), *method, deadline));
    NetworkThread::instance().submit(job);
    return job;
}

bool httpFetch(FetchBlock* block)
{
    if (!block)
        return false;
    const std::shared_ptr<TransferJob> job = startFetch(*block, std::nullopt);
    if (!job)
        return false;
    (void)job->waitUntil(std::nullopt, std::stop_token());
    *block = std::move(job->block());
    return true;
}

} // namespace tavrin::net
