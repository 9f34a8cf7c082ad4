#include "submit/row_scheduler.h"

#include <gtest/gtest.h>

#include <set>
#include <stop_token>
#include <thread>

namespace tavrin::submit {
namespace {

using namespace std::chrono_literals;
using Clock = RowScheduler::Clock;

std::vector<text::Text> urlsOf(const std::vector<const char*>& hosts)
{
    std::vector<text::Text> urls;
    for (std::size_t i = 0; i < hosts.size(); ++i)
        urls.push_back(std::string("http://") + hosts[i] + "/q/" + std::to_string(i + 1));
    return urls;
}

TEST(RowScheduler, HandsOutEveryRowOnceAndAsksEveryHostFirst)
{
    // Positions 1..7; host b has the most rows, so it is asked first.
    RowScheduler scheduler(
        urlsOf({"a.example", "b.example", "b.example", "c.example", "b.example", "a.example", ""}));
    const Clock::time_point t0{};
    std::vector<int> order;
    while (const std::optional<int> position = scheduler.claim(t0))
        order.push_back(*position);
    ASSERT_EQ(order.size(), 7u);
    EXPECT_EQ(std::set<int>(order.begin(), order.end()).size(), 7u);
    // One row of each host first, hosts with more rows first (ties in list order).
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 4), (std::vector<int>{2, 1, 4, 7}));
    EXPECT_FALSE(scheduler.claim(t0));
}

TEST(RowScheduler, RowsOfASlowServiceStartBeforeThoseOfFastOnes)
{
    // Three rows each of a slow and a fast host.
    RowScheduler scheduler(urlsOf(
        {"fast.example", "slow.example", "fast.example", "slow.example", "fast.example", "slow.example"}));
    const Clock::time_point t0{};
    EXPECT_EQ(scheduler.claim(t0), 1);
    EXPECT_EQ(scheduler.claim(t0), 2);
    // The fast host answered in 10 ms; the slow one has been running for 300 ms and has not.
    scheduler.finished(1, 10ms);
    EXPECT_EQ(scheduler.claim(t0 + 300ms), 4);
    EXPECT_EQ(scheduler.claim(t0 + 300ms), 6);
    EXPECT_EQ(scheduler.claim(t0 + 300ms), 3);
    EXPECT_EQ(scheduler.claim(t0 + 300ms), 5);
    EXPECT_FALSE(scheduler.claim(t0 + 300ms));
}

TEST(RowScheduler, AHostStillRunningWaitsBehindOneKnownToBeSlower)
{
    RowScheduler scheduler(
        urlsOf({"known.example", "new.example", "known.example", "new.example", "known.example"}));
    const Clock::time_point t0{};
    EXPECT_EQ(scheduler.claim(t0), 1);
    EXPECT_EQ(scheduler.claim(t0 + 1900ms), 2);
    // known.example took 1 s; new.example has run for 100 ms so far.
    scheduler.finished(1, 1s);
    EXPECT_EQ(scheduler.claim(t0 + 2s), 3);
    // Once it has run longer than the known host's average, it comes first.
    EXPECT_EQ(scheduler.claim(t0 + 3s), 4);
    EXPECT_EQ(scheduler.claim(t0 + 3s), 5);
    EXPECT_FALSE(scheduler.claim(t0 + 3s));
}

TEST(RowScheduler, MeasuredHostsGoSlowestFirst)
{
    RowScheduler scheduler(
        urlsOf({"a.example", "b.example", "c.example", "a.example", "b.example", "c.example"}));
    const Clock::time_point t0{};
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(scheduler.claim(t0));
    scheduler.finished(1, 50ms);
    scheduler.finished(2, 900ms);
    scheduler.finished(3, 300ms);
    EXPECT_EQ(scheduler.claim(t0 + 1s), 5);
    EXPECT_EQ(scheduler.claim(t0 + 1s), 6);
    EXPECT_EQ(scheduler.claim(t0 + 1s), 4);
    EXPECT_FALSE(scheduler.claim(t0 + 1s));
}

TEST(RowScheduler, ALaterPassStartsWithWhatTheLastOneLearned)
{
    const std::vector<text::Text> urls = urlsOf(
        {"fast.example", "slow.example", "fast.example", "slow.example", "new.example", "fast.example"});
    RowScheduler first(urls);
    const Clock::time_point t0{};
    while (const std::optional<int> position = first.claim(t0))
        first.finished(
            *position,
            urls[static_cast<std::size_t>(*position - 1)].find("slow") != std::string::npos ? 2s : 20ms);
    const HostTimes learned = first.hostTimes();
    EXPECT_EQ(learned.size(), 3u);
    EXPECT_DOUBLE_EQ(learned.at("slow.example"), 2.0);

    // Next pass, over the same services and one not seen before: the known slow host comes
    // first (slower than the known hosts' average), then the new one is asked, then the rest.
    HostTimes known = learned;
    known.erase("new.example");
    RowScheduler next(urls, known);
    std::vector<int> order;
    while (const std::optional<int> position = next.claim(t0))
        order.push_back(*position);
    EXPECT_EQ(order, (std::vector<int>{2, 4, 5, 1, 3, 6}));
}

TEST(RowScheduler, AnEmptyPassHasNothingToHandOut)
{
    RowScheduler scheduler({});
    EXPECT_FALSE(scheduler.claim());
    scheduler.finished(1, 1s); // a report for a row that does not exist is ignored
}

TEST(RowScheduler, AHostAtItsCapIsPassedOverUntilOneOfItsRowsFinishes)
{
    RowScheduler scheduler(
        urlsOf({"a.example", "a.example", "a.example", "c.example", "c.example", "b.example"}), {}, 1);
    const Clock::time_point start = Clock::now();
    // One row of every host, the busiest first; then every host is at its cap.
    EXPECT_EQ(scheduler.claim(start), 1);
    EXPECT_EQ(scheduler.claim(start), 4);
    EXPECT_EQ(scheduler.claim(start), 6);
    EXPECT_EQ(scheduler.claim(start + 1s), std::nullopt);
    EXPECT_FALSE(scheduler.handedOut());
    // c.example's row finishes: its next row, not another of a.example.
    scheduler.finished(4, 1s);
    EXPECT_EQ(scheduler.claim(start + 2s), 5);
    EXPECT_EQ(scheduler.claim(start + 2s), std::nullopt);
    scheduler.finished(1, 3s);
    EXPECT_EQ(scheduler.claim(start + 3s), 2);
    scheduler.finished(2, 3s);
    EXPECT_EQ(scheduler.claim(start + 4s), 3);
    EXPECT_TRUE(scheduler.handedOut());
    // A worker waiting for room hears that every row has been handed out, and a stop.
    scheduler.waitForRoom({});
    RowScheduler capped(urlsOf({"a.example", "a.example"}), {}, 1);
    EXPECT_EQ(capped.claim(start), 1);
    std::stop_source stop;
    std::jthread waiter([&] { capped.waitForRoom(stop.get_token()); });
    stop.request_stop();
}

} // namespace
} // namespace tavrin::submit
