// Records every checked row of every pass into the history, without slowing the pass.
//
// The recorder listens to the engine: each pass becomes a run, each checked row a check. The
// workers only queue what they report; one writer thread of the recorder's own opens the
// database and commits the queue in batches (about every second, sooner when kBatchRows rows
// wait, and when a pass is stopped), so the disk never holds a worker up, and a process killed in
// the middle of a pass loses at most the last batch. Batches by time rather than by a small row
// count: a fast pass (thousands of rows a second against a near server) then writes each page of
// the template index once a second instead of again and again, and competes least with the pass. When the
// history cannot be used (no folder, not a database, a full disk), the recorder says so once through
// `onProblem` and the passes go on without it.
//
// It also knows, per template, what the history held for the site before the current run, for
// the note over a row's mark ("历史：N次中成功M次").
//
// Threads: the PassListener reports come from the engine's threads; onProblem is called on the
// writer thread.
#pragma once

#include "history/history_store.h"
#include "submit/submission_engine.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>

namespace tavrin::history {

// The number the history keeps for a deciding test, stable across versions of the program.
[[nodiscard]] int testCode(submit::ResponseTest test);
// The deciding test a number stands for, in words for reports ("HTTP", "meta refresh" ...).
[[nodiscard]] std::string testName(int code);

class HistoryRecorder final : public submit::PassListener
{
public:
    // Bounds the memory of the queue when checks come faster than a second's worth can wait.
    static constexpr std::size_t kBatchRows = 50'000;
    static constexpr std::chrono::milliseconds kBatchInterval{1000};

    // Opens (or creates) the database at `path` on the writer thread. `frontEnd` is "window" or
    // "cli"; `shard` is "K/N" for a shard of a split run, else empty.
    HistoryRecorder(std::filesystem::path path, std::string frontEnd,
                    std::function<void(const std::string&)> onProblem, std::string shard = {});
    // Commits what is queued and ends the writer thread.
    ~HistoryRecorder() override;
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    // Waits until the database is open and everything reported so far is committed, or until
    // recording has given up.
    void flush();
    // Why recording gave up; empty while it goes on.
    [[nodiscard]] std::string problem() const;
    // The id of the last run recorded by this recorder, once its first batch is committed.
    [[nodiscard]] std::optional<std::int64_t> lastRun() const;
    // The database, once open and while usable; null otherwise.
    [[nodiscard]] HistoryStore* store();
    // From the next pass on, keeps what the history held for the site of each of the recorder's
    // own passes, for earlierTally(). Off by default: reading it costs a scan of the site's
    // history, which only the window, with its note over a mark, has a use for.
    void trackEarlierTallies();
    // Checks and successes of a row's template (or of its URL with the site put back) for the
    // current run's site before this run, once the writer has read them; nothing when the
    // history holds none or tallies are not tracked. Of the recorder's own runs, not those of
    // listeners made by makeListener().
    [[nodiscard]] std::optional<std::pair<int, int>> earlierTally(const submit::SubmitRow& row) const;

    // Another listener recording into the same database, for a second engine whose passes run
    // at the same time as this recorder's (several sites in one run): each of its passes is a
    // run of its own. It must be removed from its engine before the recorder goes.
    [[nodiscard]] std::unique_ptr<submit::PassListener> makeListener();

    // PassListener.
    void passStarted(const submit::PassInfo& info) override;
    void rowStarted(const submit::SubmitRow& row, int started, int rows) override;
    void rowChecked(const submit::SubmitRow& row, const submit::RowResult& result) override;
    void passCompleted() override;
    void passStopped() override;

private:
    class ChannelListener;
    // What one listener's passes are: the run being recorded and the site it is for.
    struct Channel
    {
        std::uint64_t runSequence = 0; // 0 before the first pass
        text::Text siteHost;
    };
    struct RunStart
    {
        RunInfo info;
        std::uint64_t sequence = 0;
        // The site's tallies are to be read from the database for this run.
        bool readTallies = false;
    };
    struct PendingCheck
    {
        std::uint64_t runSequence = 0;
        CheckRecord check;
    };

    void startRun(Channel& channel, const submit::PassInfo& info);
    void queueCheck(const Channel& channel, const submit::SubmitRow& row, const submit::RowResult& result);
    void requestFlush();

    void writerLoop(const std::stop_token& stop);
    // Writer thread: commits what has been taken from the queue.
    void commit(std::deque<RunStart>& runs, std::deque<PendingCheck>& checks);
    void giveUp(const std::string& problem);

    const std::filesystem::path path_;
    const std::string frontEnd_;
    const std::string shard_;
    const std::function<void(const std::string&)> onProblem_;

    mutable std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<RunStart> queuedRuns_;       // guarded by mutex_
    std::deque<PendingCheck> queuedChecks_; // guarded by mutex_
    std::uint64_t runSequence_ = 0;         // guarded by mutex_: the last run's number
    Channel ownChannel_;                    // guarded by mutex_: the recorder's own passes
    bool flushWanted_ = false;              // guarded by mutex_
    bool committing_ = false;               // guarded by mutex_: a batch taken off the queue is being written
    bool givenUp_ = false;                  // guarded by mutex_
    std::string problem_;                   // guarded by mutex_
    HistoryStore* openStore_ = nullptr;     // guarded by mutex_: store_, once open
    std::optional<std::int64_t> lastRun_;   // guarded by mutex_
    // What the history held per template for the site of the recorder's own passes before the
    // current one (checks, successes): read from the database when a pass for a site begins,
    // then kept up to date in memory, so that the next pass for the same site knows the last
    // one at once, whatever the writer has committed yet.
    std::unordered_map<text::Text, std::pair<int, int>> earlier_;  // guarded by mutex_
    std::unordered_map<text::Text, std::pair<int, int>> thisPass_; // guarded by mutex_
    bool earlierRead_ = false;                                     // guarded by mutex_
    bool trackTallies_ = false;                                    // guarded by mutex_

    // Writer thread only.
    std::unique_ptr<HistoryStore> store_;
    std::unordered_map<std::uint64_t, std::int64_t> runIds_;

    std::jthread writer_; // last: started once everything above exists
};

} // namespace tavrin::history
