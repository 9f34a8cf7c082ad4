// Which row of a pass a free worker checks next.
//
// Rows are handed out one at a time to whichever worker asks, so no worker idles while rows
// wait and one slow row holds back nothing but itself. The order is chosen so that the pass
// ends early: a pass lasts at least as long as its slowest row, so slow rows must start early,
// not last. Response times are a property of the service (a host), so the scheduler learns
// them as the pass goes:
//   1. First, one row of every host, hosts with the most rows first: every service is asked
//      once early, and its speed becomes known.
//   2. Then always a row of the host expected to be slowest: a host whose first row is still
//      running counts as at least as slow as it has run so far (the longest-running first);
//      a host whose rows have finished counts as its average. Rows of one host go in list
//      order.
// So the rows of a service that answers in seconds, or not at all, all start within the first
// moments of the pass instead of one by one at its end, while fast services fill the gaps.
//
// What one pass learned is handed to the next (a looping run): hosts timed before start out
// with their times, so that in later passes the slowest services start first from the outset,
// and only hosts not seen before are asked once first, unless a known host is slower than the
// known hosts' average.
//
// With a cap on the rows of one host checked at once (`perHost`), a host at its cap is passed
// over for the next in that order; when every host with rows left is at its cap, claim() gives
// nothing until a row finishes (waitForRoom), and the workers wait rather than crowd one service.
//
// Thread-safe: workers claim and report from their own threads.
#pragma once

#include "text/gbk_text.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <unordered_map>
#include <vector>

namespace tavrin::submit {

// Seconds a row of each host took on average, by host.
using HostTimes = std::unordered_map<text::Text, double>;

class RowScheduler
{
public:
    using Clock = std::chrono::steady_clock;

    // `urls[i]` is the URL of position i + 1. `known` holds what earlier passes learned.
    // `perHost` caps the rows of one host checked at once; 0 for no cap.
    explicit RowScheduler(const std::vector<text::Text>& urls, const HostTimes& known = {}, int perHost = 0);
    RowScheduler(const RowScheduler&) = delete;
    RowScheduler& operator=(const RowScheduler&) = delete;

    // The 1-based position of the next row to check, or nothing when every row has been handed
    // out, or every host with rows left is at its cap. Each position is handed out exactly once.
    [[nodiscard]] std::optional<int> claim(Clock::time_point now = Clock::now());
    // True once every row has been handed out.
    [[nodiscard]] bool handedOut();
    // Waits until a host with rows left is below its cap, every row has been handed out, or
    // `stop` is raised.
    void waitForRoom(const std::stop_token& stop);
    // The row at `position` took `took` to check.
    void finished(int position, Clock::duration took);

    [[nodiscard]] int rowCount() const { return static_cast<int>(hostOfRow_.size()); }

    // What this pass learned, on top of what it was given: for every host timed, its average.
    [[nodiscard]] HostTimes hostTimes();

private:
    struct Host
    {
        text::Text name;
        std::vector<int> positions; // in list order
        std::size_t next = 0;       // positions before this one were handed out
        Clock::time_point firstStart;
        int finishedRows = 0;
        int checking = 0; // rows handed out and not finished yet
        double totalSeconds = 0;
        // From an earlier pass, until this pass times a row of the host.
        std::optional<double> knownSeconds;

        [[nodiscard]] bool pending() const { return next < positions.size(); }
        [[nodiscard]] bool measured() const { return finishedRows > 0 || knownSeconds.has_value(); }
        [[nodiscard]] double averageSeconds() const
        {
            return finishedRows > 0 ? totalSeconds / finishedRows : knownSeconds.value_or(0.0);
        }
    };
    // Measured hosts with rows left, slowest first; ties by host number.
    using MeasuredOrder = std::set<std::pair<double, int>, std::greater<>>;

    int take(int host, Clock::time_point now);
    // The host whose first row started longest ago, not measured yet, with rows left and room.
    [[nodiscard]] std::optional<int> oldestRunning();
    [[nodiscard]] bool hasRoom(int host) const;
    [[nodiscard]] bool roomOrDone() const;

    const int perHost_;
    std::mutex mutex_;
    std::condition_variable_any room_;
    std::vector<Host> hosts_;
    std::vector<int> hostOfRow_;
    // Hosts not timed before and not asked yet, in the order they will be.
    std::vector<int> probeOrder_;
    std::size_t nextProbe_ = 0;
    // What a host not timed yet is expected to take: the known hosts' average, or, when none is
    // known, more than any (so that every host is asked once first).
    double unknownHostSeconds_;
    // Hosts asked but not measured yet, by the start of their first row (oldest first). Entries
    // of hosts measured or used up since are skipped when they reach the front.
    std::deque<int> running_;
    MeasuredOrder measured_;
};

} // namespace tavrin::submit
