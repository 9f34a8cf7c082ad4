#include "net/network_thread.h"

#include "net/cookie_share.h"
#include "net/curl_global.h"
#include "net/transfer_job.h"

namespace tavrin::net {

namespace {

// The longest the thread sleeps when nothing happens; any submission or cancellation wakes it
// earlier, and curl shortens it to its own next timer.
constexpr int kIdlePollMs = 1000;

} // namespace

NetworkThread& NetworkThread::instance()
{
    static NetworkThread thread;
    return thread;
}

NetworkThread::NetworkThread()
{
    // The share must outlive this object (statics die in reverse order of construction), since
    // ending the transfers at exit still touches it.
    (void)programShare();
    if (curlGlobalReady()) {
        multi_.reset(curl_multi_init());
        if (multi_)
            curl_multi_setopt(multi_.get(), CURLMOPT_MAXCONNECTS, kMaxIdleConnections);
    }
    thread_ = std::thread([this] { run(); });
}

NetworkThread::~NetworkThread()
{
    {
        const std::lock_guard lock(queueMutex_);
        quit_ = true;
    }
    wake();
    thread_.join();
}

void NetworkThread::submit(std::shared_ptr<TransferJob> job)
{
    {
        const std::lock_guard lock(queueMutex_);
        incoming_.push_back(std::move(job));
    }
    wake();
}

void NetworkThread::wakeForCancel()
{
    cancelRequested_.store(true, std::memory_order_release);
    wake();
}

void NetworkThread::wake()
{
    // curl_multi_wakeup may be called from any thread.
    if (multi_) {
        curl_multi_wakeup(multi_.get());
    } else {
        const std::lock_guard lock(queueMutex_);
        queueChanged_.notify_one();
    }
}

void NetworkThread::run()
{
    std::vector<std::shared_ptr<TransferJob>> arrivals;
    for (;;) {
        {
            const std::lock_guard lock(queueMutex_);
            if (quit_)
                break;
            arrivals.swap(incoming_);
        }
        for (auto& job : arrivals)
            start(std::move(job));
        arrivals.clear();
        if (cancelRequested_.exchange(false, std::memory_order_acq_rel))
            dropAbandoned();
        if (!multi_) {
            // Without libcurl every job ended at start; sleep until there is another one.
            std::unique_lock lock(queueMutex_);
            queueChanged_.wait(lock, [this] { return quit_ || !incoming_.empty(); });
            continue;
        }
        int running = 0;
        curl_multi_perform(multi_.get(), &running);
        collectFinished();
        curl_multi_poll(multi_.get(), nullptr, 0, kIdlePollMs, nullptr);
    }
    endAll();
}

void NetworkThread::start(std::shared_ptr<TransferJob> job)
{
    if (job->abandoned())
        return;
    // A fresh easy handle per transfer: curl 7.88 loses a small list on curl_easy_reset (a leak
    // per request), and creating a handle costs little next to a request. Connections live on
    // in the multi handle, cookies, DNS and TLS sessions in the share.
    EasyPtr easy(multi_ ? curl_easy_init() : nullptr);
    if (!easy || !job->transfer().setUp(easy.get()) ||
        curl_multi_add_handle(multi_.get(), easy.get()) != CURLM_OK) {
        easy.reset();
        TransferOutcome failed;
        failed.failure = "the request could not be started";
        job->complete(std::move(failed));
        return;
    }
    CURL* key = easy.get();
    active_.emplace(key, Active{std::move(job), std::move(easy)});
}

void NetworkThread::collectFinished()
{
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_.get(), &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        // The message dies with the handle's removal: take what is needed first.
        CURL* easy = message->easy_handle;
        const CURLcode code = message->data.result;
        const auto found = active_.find(easy);
        if (found == active_.end())
            continue;
        Active finished = std::move(found->second);
        active_.erase(found);
        // In this order: finish() reads the final address from the handle while it exists and
        // moves the buffers out of the transfer; the handle goes before complete() frees the
        // transfer it points into; the outcome travels on to the waiter by move.
        TransferOutcome outcome = finished.job->transfer().finish(code);
        release(finished);
        finished.job->complete(std::move(outcome));
    }
}

void NetworkThread::dropAbandoned()
{
    for (auto it = active_.begin(); it != active_.end();) {
        if (!it->second.job->abandoned()) {
            ++it;
            continue;
        }
        // Removing a handle in the middle of its transfer closes that connection; the job
        // (with its buffers) goes when its caller lets go of it too.
        release(it->second);
        it = active_.erase(it);
    }
}

void NetworkThread::endAll()
{
    // Only reached when the process ends; nobody should be waiting any more, but a waiter that
    // is still there gets "no response" instead of hanging.
    for (auto& [easy, active] : active_) {
        release(active);
        TransferOutcome ended;
        ended.failure = "the program is ending";
        active.job->complete(std::move(ended));
    }
    active_.clear();
    std::vector<std::shared_ptr<TransferJob>> waiting;
    {
        const std::lock_guard lock(queueMutex_);
        waiting.swap(incoming_);
    }
    for (auto& job : waiting) {
        TransferOutcome ended;
        ended.failure = "the program is ending";
        job->complete(std::move(ended));
    }
}

void NetworkThread::release(Active& active)
{
    // Out of the multi handle and gone before the job may free the transfer the handle points
    // into (its buffers and callbacks).
    curl_multi_remove_handle(multi_.get(), active.easy.get());
    active.easy.reset();
}

} // namespace tavrin::net
