#include "net/transfer_job.h"

#include "net/network_thread.h"
#include "net/proxy_address.h"
#include "net/request_headers.h"
#include "net/shared_condition.h"

#include <utility>

namespace tavrin::net {

TransferJob::TransferJob(std::unique_ptr<HttpTransfer> transfer)
    : completed_(sharedCondition(this))
    , transfer_(std::move(transfer))
{
    transfer_->setCancelFlag(&abandoned_);
    transfer_->setProgress(&progress_);
}

void TransferJob::complete(TransferOutcome outcome)
{
    transfer_.reset();
    if (abandoned())
        return;
    {
        // Only moves happen under the lock (a few pointers, whatever the size of the body), so
        // a caller at its deadline never waits for a copy to end.
        const std::lock_guard lock(mutex_);
        if (abandoned_.load(std::memory_order_relaxed))
            return;
        outcome_ = std::move(outcome);
        done_ = true;
    }
    completed_.notify_all();
}

bool TransferJob::waitUntil(std::optional<Deadline> deadline, const std::stop_token& stop)
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
        // (and is ignored by the caller) or sees the flag and stores nothing.
        const std::lock_guard lock(mutex_);
        abandoned_.store(true, std::memory_order_release);
    }
    NetworkThread::instance().wakeForCancel();
}

TransferOutcome TransferJob::takeOutcome()
{
    const std::lock_guard lock(mutex_);
    return std::exchange(outcome_, TransferOutcome());
}

std::shared_ptr<TransferJob> startTransfer(std::unique_ptr<HttpTransfer> transfer)
{
    auto job = std::make_shared<TransferJob>(std::move(transfer));
    NetworkThread::instance().submit(job);
    return job;
}

std::shared_ptr<TransferJob> startFetch(FetchRequest request, std::optional<Deadline> deadline)
{
    const std::optional<FetchMethod> method = parseMethod(request.method);
    if (!method || (countsAsPresent(request.proxy) && !parseProxyAddress(request.proxy)))
        return nullptr;
    return startTransfer(HttpTransfer::forFetch(std::move(request), *method, deadline));
}

} // namespace tavrin::net
