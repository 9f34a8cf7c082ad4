// The meeting point of a caller waiting for a transfer and the network thread performing it.
//
// The caller creates the job (startFetch, startTransfer), which hands it to the network thread,
// and waits for it under a deadline and a stop request. The network thread completes it by
// moving the transfer's outcome into the job, unless the caller has abandoned it: once
// abandoned, nothing is ever stored or handed out, however late the response arrives, and the
// network thread stops the transfer at its next turn. The caller then moves the outcome out.
// Between the transfer's buffers and the caller nothing is copied: the body handed out is the
// buffer that curl's callbacks filled. Whoever lets go of the job last frees it.
#pragma once

#include "net/fetch_request.h"
#include "net/http_transfer.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>

namespace tavrin::net {

class TransferJob
{
public:
    explicit TransferJob(std::unique_ptr<HttpTransfer> transfer);
    TransferJob(const TransferJob&) = delete;
    TransferJob& operator=(const TransferJob&) = delete;

    // --- network thread ---------------------------------------------------------------------
    [[nodiscard]] HttpTransfer& transfer() noexcept { return *transfer_; }
    // Frees the transfer, then stores the outcome (by move) and wakes the caller, unless the
    // job was abandoned: a late outcome is dropped here, on the network thread, rather than
    // held until the caller lets go of the job.
    void complete(TransferOutcome outcome);
    [[nodiscard]] bool abandoned() const noexcept { return abandoned_.load(std::memory_order_acquire); }

    // --- caller -----------------------------------------------------------------------------
    // Waits until the job is complete (true), or until the deadline passes or a stop is
    // requested (false). Without a deadline, waits for completion or a stop only.
    [[nodiscard]] bool waitUntil(std::optional<Deadline> deadline, const std::stop_token& stop);
    // Gives the job up after waitUntil returned false: no outcome will be handed out, and the
    // network thread is told to stop the transfer now.
    void abandon();
    // How far the transfer has got (or had got when it ended or was abandoned).
    [[nodiscard]] FetchProgress progress() const { return progress_.snapshot(); }
    // After waitUntil returned true: the outcome, moved out of the job. Call once; called again,
    // or for an abandoned job, it gives an empty outcome (no response).
    [[nodiscard]] TransferOutcome takeOutcome();

private:
    std::mutex mutex_;
    // One of the shared set (shared_condition.h); notified when the job completes.
    std::condition_variable_any& completed_;
    bool done_ = false;                  // guarded by mutex_
    TransferOutcome outcome_;            // guarded by mutex_; stored by the network thread with done_
    std::atomic<bool> abandoned_{false}; // set under mutex_, read by the network thread without it
    TransferProgress progress_;          // written by the network thread, read by the caller
    // Network thread only, from submission to completion.
    std::unique_ptr<HttpTransfer> transfer_;
};

// Hands `transfer` to the network thread and gives the job to wait on. Any thread.
[[nodiscard]] std::shared_ptr<TransferJob> startTransfer(std::unique_ptr<HttpTransfer> transfer);

// Starts a fetch of `request`, which is moved to the network thread. Null, and nothing is sent,
// when its method is neither GET nor POST, or its proxy field names no proxy address (it never
// goes direct in its place). With a deadline, curl gives up shortly after it even
// if the caller's cancellation were missed; without one, it runs until it ends by itself.
[[nodiscard]] std::shared_ptr<TransferJob> startFetch(FetchRequest request, std::optional<Deadline> deadline);

} // namespace tavrin::net
