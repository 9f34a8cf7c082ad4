// A time budget for every test of the executable: a test that hangs (a server that never
// answers, a wait that never ends) fails loudly instead of blocking the suite.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace tavrin::testing_support {

class WatchdogListener : public testing::EmptyTestEventListener
{
public:
    explicit WatchdogListener(std::chrono::seconds budget)
        : budget_(budget)
        , thread_([this] { watch(); })
    {}

    ~WatchdogListener() override
    {
        {
            const std::lock_guard lock(mutex_);
            quit_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    void OnTestStart(const testing::TestInfo& info) override
    {
        {
            const std::lock_guard lock(mutex_);
            running_ = std::string(info.test_suite_name()) + "." + info.name();
            deadline_ = std::chrono::steady_clock::now() + budget_;
            ++generation_;
        }
        changed_.notify_all();
    }

    void OnTestEnd(const testing::TestInfo&) override
    {
        {
            const std::lock_guard lock(mutex_);
            running_.clear();
            ++generation_;
        }
        changed_.notify_all();
    }

private:
    void watch()
    {
        std::unique_lock lock(mutex_);
        while (!quit_) {
            if (running_.empty()) {
                changed_.wait(lock);
                continue;
            }
            const auto generation = generation_;
            if (changed_.wait_until(lock, deadline_, [&] { return quit_ || generation_ != generation; }))
                continue;
            std::fprintf(stderr, "\nWATCHDOG: %s did not finish within %lld s; aborting.\n", running_.c_str(),
                         static_cast<long long>(budget_.count()));
            std::fflush(stderr);
            std::abort();
        }
    }

    const std::chrono::seconds budget_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool quit_ = false;
    std::string running_;
    std::chrono::steady_clock::time_point deadline_;
    unsigned long generation_ = 0;
    std::thread thread_;
};

} // namespace tavrin::testing_support
