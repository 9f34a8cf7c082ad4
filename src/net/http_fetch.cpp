#include "net/http_fetch.h"

#include "net/fetch_records.h"
#include "net/transfer_job.h"

#include <memory>
#include <optional>
#include <utility>

namespace tavrin::net {

bool httpFetch(FetchBlock* block)
{
    if (!block)
        return false;
    std::optional<FetchRequest> request = readRequestRecord(*block);
    if (!request)
        return false;
    // The request has been read out; the block holds nothing until the result goes in.
    block->clear();
    const std::shared_ptr<TransferJob> job = startFetch(std::move(*request), std::nullopt);
    if (!job)
        return false;
    (void)job->waitUntil(std::nullopt, std::stop_token());
    TransferOutcome done = job->takeOutcome();
    writeResultRecord(*block, FetchResult{std::move(done.headerText), std::move(done.body)});
    return true;
}

} // namespace tavrin::net
