// The one thread that performs every HTTP transfer of the program.
//
// Why one network thread with a curl multi handle, rather than an easy handle per worker
// thread: the worker threads (50 by default, later hundreds) only wait, and the waiting is
// where the rules live. A worker waits on its own job under its own deadline, so it returns at
// the limit to the millisecond, whatever curl is doing (a slow host-name look-up included), and
// a stop wakes it at once. The network thread then drops the transfer at its next turn (a
// wake-up, not a poll interval), which closes the connection and frees the buffers; nothing a
// late response brings is ever handed out. No thread is created per request and none is ended
// by force. Because the multi handle belongs to this thread alone, its connection cache is
// shared by all requests legally under curl 7.88 (sharing a connection cache between threads
// is not supported there), which also bounds the number of idle connections however many
// workers there are. Cookies, DNS and TLS sessions live in the program-wide share
// (cookie_share.h).
#pragma once

#include "net/curl_handles.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tavrin::net {

class TransferJob;

class NetworkThread
{
public:
    // The thread is started on first use (initNetwork() does that from main()) and stopped
    // when the process ends.
    [[nodiscard]] static NetworkThread& instance();

    ~NetworkThread();
    NetworkThread(const NetworkThread&) = delete;
    NetworkThread& operator=(const NetworkThread&) = delete;

    // Hands a job over; it is completed, or dropped when its caller abandons it. Any thread.
    void submit(std::shared_ptr<TransferJob> job);
    // Tells the thread that a job was abandoned, so it stops that transfer now. Any thread.
    void wakeForCancel();

private:
    NetworkThread();

    // A transfer under way. The handle is declared last so that it goes first: it points into
    // the job's transfer.
    struct Active
    {
        std::shared_ptr<TransferJob> job;
        EasyPtr easy;
    };

    void run();
    void start(std::shared_ptr<TransferJob> job);
    void collectFinished();
    void dropAbandoned();
    void endAll();
    void release(Active& active);
    void wake();

    // Size of the connection cache: after a transfer, connections beyond it are closed, oldest
    // idle first. It is above the default worker count, so 50 workers asking one host keep
    // their connections, and it caps the sockets left open however many workers there are.
    static constexpr long kMaxIdleConnections = 64;

    MultiPtr multi_;

    std::mutex queueMutex_;
    std::vector<std::shared_ptr<TransferJob>> incoming_; // guarded by queueMutex_
    bool quit_ = false;                                  // guarded by queueMutex_
    std::condition_variable queueChanged_; // wakes the thread only when there is no multi handle
    std::atomic<bool> cancelRequested_{false};

    // Network thread only.
    std::unordered_map<CURL*, Active> active_;

    std::thread thread_; // last, so it starts after everything above exists
};

} // namespace tavrin::net
