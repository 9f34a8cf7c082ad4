#include "net/transfer_job.h"

#include "net/fetch_records.h"
#include "net/network_thread.h"

namespace tavrin::net {

TransferJob::TransferJob(std::unique_ptr<HttpTransfer> transfer)
    : transfer_(std::move(transfer))
{
    transfer_->setCancelFlag(&abandoned_);
}

void TransferJob::complete(TransferOutcome outcome)
{
    transfer_.reset();
    if (abandoned())
        return;
    // The record is written before taking the lock; the caller does not look at the block
    // until it has seen done_ under the lock.
    FetchBlock record;
    writeResultRecord(record, outcome.result);
    outcome.result = FetchResult();
    {
        const std::lock_guard lock(mutex_);
        if (abandoned_.load(std::memory_order_relaxed))
            return;
        block_ = std::move(record);
        bodyCapped_ = outcome.bodyCapped;
        bodyComplete_ = outcome.bodyComplete;
        failure_ = std::move(outcome.failure);
        closedBeforeResponse_ = outcome.closedBeforeResponse;
        finalUrl_ = std::move(outcome.finalUrl);
        done_ = true;
    }
    completed_.notify_all();
}

bool TransferJob::waitUntil(std::optional<Deadline> deadline, std::stop_token stop)
{
    std::unique_lock lock(mutex_);
    if (deadline)
        return completed_.wait_until(lock, stop, *deadline, [this] { return done_; });
    return completed_.wait(lock, stop, [this] { return done_; });
}

void TransferJob::abandon()
{
    {
        // Under the lock, so a completion racing with the deadline either finished before
        // (and is ignored by the caller) or sees the flag and writes nothing.
        const std::lock_guard lock(mutex_);
        abandoned_.store(true, std::memory_order_release);
    }
    NetworkThread::instance().wakeForCancel();
}

} // namespace tavrin::net
