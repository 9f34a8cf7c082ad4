#include "base/thread_group.h"

#include <algorithm>

namespace tavrin::base {

ThreadGroup::~ThreadGroup()
{
    requestStop();
    waitAll();
}

void ThreadGroup::start(std::function<void(std::stop_token)> work)
{
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::lock_guard lock(mutex_);
    std::erase_if(members_, [](const Member& member) { return member.finished->load(); });
    members_.push_back(Member{std::jthread([work = std::move(work), finished](std::stop_token stop) {
                                  work(std::move(stop));
                                  finished->store(true);
                              }),
                              finished});
}

void ThreadGroup::requestStop()
{
    std::lock_guard lock(mutex_);
    for (Member& member : members_)
        member.thread.request_stop();
}

void ThreadGroup::waitAll()
{
    std::vector<Member> joining;
    {
        std::lock_guard lock(mutex_);
        joining.swap(members_);
    }
    for (Member& member : joining) {
        if (member.thread.joinable())
            member.thread.join();
    }
}

int ThreadGroup::running() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(members_.begin(), members_.end(),
                                          [](const Member& member) { return !member.finished->load(); }));
}

} // namespace tavrin::base
