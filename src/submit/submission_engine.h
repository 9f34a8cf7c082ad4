// Submission passes: every row of the list checked once by a group of worker threads, each row
// marked √ or ×.
//
// The engine knows nothing of buttons or status lines. A front end starts and stops passes,
// checks single rows, and hears what happens through a PassListener: a row started, a row
// checked (with its typed result), the pass completed. The window turns that into its captions,
// status texts and progress bar (window/submit_handlers.h); the command line into its printout.
//
// A pass runs the thread count's worth of workers plus one; each takes the next row from the
// pass's scheduler whenever it is free (row_scheduler.h says in which order), so rows are checked
// in a different order than they are listed, and the marks arrive in that order. A row's mark
// lands on the row only while it still holds the URL that was checked.
//
// A pass completes when every one of its rows has been checked: the last mark is in the list
// before passCompleted() is told, so a front end that says "done" never says it over rows still
// being checked.
//
// Stopping is cooperative and immediate: stop() retires the pass under a write gate, so once it
// returns no worker of that pass writes a mark or tells the listener anything again, and the
// fetches in flight are cancelled. The rows that were being checked go back to pending: their
// check will never report, and a working mark left on them would claim otherwise for good.
// Nothing waits on the caller's thread.
#pragma once

#include "base/list_store.h"
#include "base/thread_group.h"
#include "submit/row_check.h"
#include "submit/row_scheduler.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <vector>

namespace tavrin::submit {

// One row of a pass, as it was when the pass started.
struct SubmitRow
{
    text::Text url;
    // The row's position in the list at pass start: its marks go there, as long as that row
    // still holds `url`.
    int listIndex = 0;
    // The template the URL was expanded from, when the row has one.
    std::optional<text::Text> templateText;
    // The site the row asks about, when a pass covers several; empty for the pass's own.
    text::Text siteHost;
};

// What a pass is, as it starts.
struct PassInfo
{
    int rows = 0;
    int threads = 0;
    // The host the rows were expanded with; empty when not known.
    text::Text siteHost;
};

// What a pass reports as it goes. Called on worker threads (passStarted on the starting thread)
// while the engine holds the locks that order these reports (a row's start comes before its
// check, every check before the completion, nothing after a stop): an implementation must be
// quick and must not call back into the engine.
class PassListener
{
public:
    virtual ~PassListener() = default;
    // A pass is starting; its rows have not been handed out yet.
    virtual void passStarted(const PassInfo& /*info*/) {}
    // `row` is being checked: the `started`-th row taken in this pass, out of `rows`.
    virtual void rowStarted(const SubmitRow& row, int started, int rows) = 0;
    // Its check is done, and its mark is in the list (unless the row changed meanwhile: a mark
    // lands only on the row that still holds the URL that was checked).
    virtual void rowChecked(const SubmitRow& row, const RowResult& result) = 0;
    // Every row of the pass has been checked: the last rowChecked report came before this, and
    // no report of the pass follows it.
    virtual void passCompleted() = 0;
    // The pass was stopped before it completed; nothing of it is reported after this.
    virtual void passStopped() {}
};

enum class PassState
{
    Idle,      // no pass yet
    Running,   // started, not yet completed or stopped
    Completed, // every row checked; reported by passCompleted()
    Stopped,   // ended by stop()
};

// Thread counts outside this range do not start a pass: fewer than one cannot share out the
// rows, and hundreds of thousands of threads would bring the machine down.
inline constexpr int kMinThreads = 1;
inline constexpr int kMaxThreads = 500;

enum class StartResult
{
    Started,
    BadThreadCount, // outside kMinThreads..kMaxThreads; nothing was changed
};

class SubmissionEngine
{
public:
    SubmissionEngine(base::ListStore& list, RowCheck check);
    // Stops every worker and single submit, cancels their fetches and waits for them.
    ~SubmissionEngine();
    SubmissionEngine(const SubmissionEngine&) = delete;
    SubmissionEngine& operator=(const SubmissionEngine&) = delete;

    // Adds a listener, or removes one. Removing waits for a report under way, so once it
    // returns the listener hears nothing more and may go away.
    void addListener(PassListener* listener);
    void removeListener(PassListener* listener);

    // Makes the note that goes into the list beside a row's mark (what the window shows over
    // it); unset, marks carry no note. Called on worker threads. Set before the first pass.
    using NoteMaker = std::function<text::Text(const SubmitRow& row, const RowResult& result)>;
    void setNoteMaker(NoteMaker makeNote) { makeNote_ = std::move(makeNote); }

    // Called on the starting thread right before a pass or a single submit reads the rows: it
    // brings the rows up to date with the site address and gives the site host they are
    // expanded with. Unset, the rows are read as they are and the host is unknown. Set it
    // before the first pass.
    using PrepareRows = std::function<text::Text()>;
    void setPrepareRows(PrepareRows prepare) { prepareRows_ = std::move(prepare); }
    // The site each row asks about, by its position in the list, for a pass over several
    // sites at once (their rows in one list); unset, every row asks about the pass's site.
    using SiteOfRow = std::function<text::Text(int listIndex)>;
    void setSiteOfRow(SiteOfRow siteOfRow) { siteOfRow_ = std::move(siteOfRow); }
    // Caps the rows of one host (a service) checked at once, from the next pass on; 0 for no
    // cap. Workers with nothing but capped hosts left wait for a row of one to finish.
    void setPerHostLimit(int perHost) { perHost_ = perHost; }

    // Starts a pass over every row of the list with `threads` workers (plus one), every row
    // marked pending first. Returns at once.
    [[nodiscard]] StartResult start(int threads);
    // Ends the current pass: after it returns, no worker of it marks a row or reports again.
    // The rows in hand go back to pending, each only while it still holds the URL it was given
    // and still shows the working mark (a row edited, moved or marked by another check since is
    // no longer the pass's to change). Returns at once. Starting thread.
    void stop();
    // Checks the row at `row` on a thread of its own, outside any pass, with the stricter rule
    // that an empty body fails. Nothing for a row that does not exist.
    void submitOne(int row);

    [[nodiscard]] PassState state() const { return state_.load(); }
    // Rows taken into work in the current pass so far (0 once it has ended).
    [[nodiscard]] int startedRows() const { return startedCount_.load(); }
    // A pass has completed or was stopped (the loop timer restarts only then).
    [[nodiscard]] bool passEnded() const
    {
        const PassState now = state();
        return now == PassState::Completed || now == PassState::Stopped;
    }
    // Forgets the rows started in the current pass, as clearing the list does: a pass running
    // then never completes by itself. Starting thread.
    void forgetStartedRows();

    // True while a worker of a pass is still running (after completion, the workers may still
    // be on their way out).
    [[nodiscard]] bool passWorkersRunning() const { return passWorkers_.running() > 0; }
    // Joins the workers of the passes started so far (they must end by themselves or by a stop).
    void waitForPassWorkers();
    void waitForSingleSubmits();

private:
    struct Pass;

    void passWorker(const std::shared_ptr<Pass>& pass, const std::stop_token& stop);
    void submitOneRow(Pass& pass, int position, const std::stop_token& stop);
    // Counts a row of `pass` as checked (none for the call a worker makes on its way out) and
    // reports the completion once every row is; under the write gate.
    void countChecked(Pass& pass, std::optional<int> position);
    // Puts the rows `pass` has in hand back to pending; under the write gate, held exclusively.
    void putBackRowsInHand(Pass& pass);
    void singleSubmitWorker(int row, const text::Text& siteHost, const std::stop_token& stop);
    [[nodiscard]] text::Text prepareRows();
    // Runs `write` only while `pass` is the current pass; stop() waits for a write under way.
    template <typename Write> bool writeForPass(const Pass& pass, Write&& write);
    // Tells every listener; under the write gate.
    template <typename Report> void tellListeners(Report&& report);

    base::ListStore& list_;
    RowCheck check_;
    std::vector<PassListener*> listeners_; // guarded by writeGate_
    NoteMaker makeNote_;
    PrepareRows prepareRows_;
    int perHost_ = 0;
    SiteOfRow siteOfRow_;
    // The last pass started (starting thread): stop() puts back its rows in hand, and the next
    // pass learns its hosts' times.
    std::shared_ptr<Pass> lastPass_;

    std::atomic<PassState> state_{PassState::Idle};
    // Rows taken into work in the current pass, shared by its workers.
    std::atomic<int> startedCount_{0};

    // Workers hold it shared while they check their pass and write; stop() takes it exclusively
    // to retire the pass.
    std::shared_mutex writeGate_;
    std::uint64_t currentPassId_ = 0; // guarded by writeGate_
    std::uint64_t lastPassId_ = 0;    // starting thread
    // Guards what a pass counts (its rows in hand, its checked rows) and makes a row's start
    // (the count and its report) and a row's count as checked with the completion check one
    // step each.
    std::mutex progressMutex_;

    // Declared last: destroyed first, so no thread outlives what it uses.
    base::ThreadGroup singleSubmits_;
    base::ThreadGroup passWorkers_;
};

} // namespace tavrin::submit
