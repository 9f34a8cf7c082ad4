// The meeting point of a caller waiting for a transfer and the network thread performing it.
//
// The caller creates the job, hands it to the network thread and waits for it, under a
// deadline and a stop request. The network thread completes it by writing the result record
// into the job's block, unless the caller has abandoned it: once abandoned, nothing is ever
// written or handed out, however late the response arrives, and the network thread stops the
// transfer at its next turn. Whoever lets go of the job last frees it.
#pragma once

#include "net/fetch_block.h"
#include "net/http_transfer.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

namespace tavrin::net {

class TransferJob
{
public:
    explicit TransferJob(std::unique_ptr<HttpTransfer> transfer);
    TransferJob(const TransferJob&) = delete;
    TransferJob& operator=(const TransferJob&) = delete;

    // --- network thread ---------------------------------------------------------------------
    [[nodiscard]] HttpTransfer& transfer() noexcept { return *transfer_; }
    // Publishes the outcome (result record into the block) and wakes the caller, unless the
    // job was abandoned. Frees the transfer.
    void complete(TransferOutcome outcome);
    [[nodiscard]] bool abandoned() const noexcept { return abandoned_.load(std::memory_order_acquire); }

    // --- caller -----------------------------------------------------------------------------
    // Waits until the job is complete (true), or until the deadline passes or a stop is
    // requested (false). Without a deadline, waits for completion or a stop only.
    [[nodiscard]] bool waitUntil(std::optional<Deadline> deadline, std::stop_token stop);
    // Gives the job up after waitUntil returned false: no result will be handed out, and the
    // network thread is told to stop the transfer now.
    void abandon();
    // After waitUntil returned true: the block with the result record, and the extras that the
    // record has no room for.
    [[nodiscard]] FetchBlock& block() noexcept { return block_; }
    [[nodiscard]] bool bodyCapped() const noexcept { return bodyCapped_; }
    [[nodiscard]] bool bodyComplete() const noexcept { return bodyComplete_; }
    [[nodiscard]] const std::string& failure() const noexcept { return failure_; }
    [[nodiscard]] bool closedBeforeResponse() const noexcept { return closedBeforeResponse_; }
    [[nodiscard]] Text& finalUrl() noexcept { return finalUrl_; }

private:
    std::mutex mutex_;
    std::condition_variable_any completed_;
    bool done_ = false; // guarded by mutex_
    std::atomic<bool> abandoned_{false};
    // Written by the network thread before done_ is set, read by the caller after it saw done_.
    FetchBlock block_;
    bool bodyCapped_ = false;
    bool bodyComplete_ = false;
    std::string failure_;
    bool closedBeforeResponse_ = false;
    Text finalUrl_;
    // Network thread only, from submission to completion.
    std::unique_ptr<HttpTransfer> transfer_;
};

} // namespace tavrin::net
