// Threads that the program starts and lets run: loaders, pass workers, single submits.
//
// Nothing is ever ended by force. Each thread gets a stop token that its work checks (and hands
// to its fetches, which then return at once); requestStop() raises it for every thread running.
// The user-interface thread never waits here except in waitAll() and the destructor, which
// stop and join whatever is left, so no thread outlives the objects it writes to.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace tavrin::base {

class ThreadGroup
{
public:
    ThreadGroup() = default;
    ThreadGroup(const ThreadGroup&) = delete;
    ThreadGroup& operator=(const ThreadGroup&) = delete;
    ~ThreadGroup();

    // Starts `work` on a new thread and returns at once. Threads that have finished are
    // joined here, so the group does not grow with every start.
    void start(std::function<void(std::stop_token)> work);
    // Asks every thread started so far to stop; does not wait.
    void requestStop();
    // Joins every thread started so far (after they stop by themselves or by requestStop()).
    void waitAll();
    // Threads started and not yet finished.
    [[nodiscard]] int running() const;

private:
    struct Member
    {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };

    mutable std::mutex mutex_;
    std::vector<Member> members_;
};

} // namespace tavrin::base
