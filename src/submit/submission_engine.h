// Submission passes: every row of the list fetched once by a group of worker threads, each row
// marked "√" or "×", with progress in the status line and the progress bar.
//
// One button starts and stops a pass by its caption; a 2-second timer repeats passes while the
// loop box is checked. A pass runs the thread count's worth of workers plus one; each takes the
// next row from the pass's scheduler whenever it is free (row_scheduler.h says in which order),
// so rows are checked in a different order than they are listed, and the marks arrive in that
// order.
//
// Stopping is cooperative and immediate: stopPass() retires the pass under a write gate, so
// once it returns no worker of that pass writes a cell, the status line, the progress bar or a
// counter again, and the fetches in flight are cancelled. Nothing waits on the user-interface
// thread.
#pragma once

#include "base/list_store.h"
#include "base/thread_group.h"
#include "platform/controls.h"
#include "state/program_state.h"
#include "submit/row_check.h"
#include "submit/row_scheduler.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>

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
};

// The controls of the main window that a pass reads and writes.
struct SubmitControls
{
    base::ListStore& list;                 // 超级列表框1
    platform::TextControl& submitButton;   // 按钮1
    platform::TextControl& threadCountBox; // 编辑框3
    platform::CheckControl& loopSubmit;    // 选择框2
    platform::TextControl& statusLine;     // 透明标签2
    platform::ProgressControl& progress;   // 进度条1
};

class SubmissionEngine
{
public:
    SubmissionEngine(SubmitControls controls, ProgramState& state, RowCheck check);
    // Stops every worker and single submit, cancels their fetches and waits for them.
    ~SubmissionEngine();
    SubmissionEngine(const SubmissionEngine&) = delete;
    SubmissionEngine& operator=(const SubmissionEngine&) = delete;

    // The start/stop button: starts a pass when its caption reads "开始提交", else stops.
    void toggleSubmit();
    // The loop timer's tick: with the loop box checked, a pass that has ended is toggled (first a
    // stop, which leaves the stop message, then on the next tick a new start).
    void onLoopTick();
    // 提交网址: fetches the selected row on a thread of its own, outside any pass, with the
    // stricter rule that an empty body fails.
    void submitSelected();

    // Called from a worker for every row of the current pass whose check finished, right when
    // its mark is written (never for a stopped pass). Set it before the first pass.
    using RowObserver = std::function<void(const SubmitRow& row, const RowOutcome& outcome)>;
    void setRowObserver(RowObserver observer) { rowObserver_ = std::move(observer); }

    // Called on the starting thread right before a pass or a single submit reads the rows: it
    // brings the rows up to date with the site address and gives the site host they are
    // expanded with. Unset, the rows are read as they are and the host is unknown. Set it
    // before the first pass.
    using PrepareRows = std::function<text::Text()>;
    void setPrepareRows(PrepareRows prepare) { prepareRows_ = std::move(prepare); }

    // True while a worker of a pass is still running (after completion, one may still be
    // finishing the fetch of its last row).
    [[nodiscard]] bool passWorkersRunning() const { return passWorkers_.running() > 0; }

    // Joins the workers of the passes started so far (they must end by themselves or by a stop).
    void waitForPassWorkers();
    void waitForSingleSubmits();

private:
    struct Pass;

    void startPass();
    void stopPass();
    void passWorker(const std::shared_ptr<Pass>& pass, const std::stop_token& stop);
    void submitOneRow(const Pass& pass, int position, const std::stop_token& stop);
    void completionCheck(const Pass& pass);
    void singleSubmitWorker(const text::Text& siteHost, const std::stop_token& stop);
    [[nodiscard]] text::Text prepareRows();
    // Runs `write` only while `pass` is the current pass; stopPass() waits for a write under way.
    template <typename Write> bool writeForPass(const Pass& pass, Write&& write);

    SubmitControls controls_;
    ProgramState& state_;
    RowCheck check_;
    // The last pass started (user-interface thread): the next one learns its hosts' times.
    std::shared_ptr<Pass> lastPass_;
    RowObserver rowObserver_;
    PrepareRows prepareRows_;

    // Workers hold it shared while they check their pass and write; stopPass() takes it
    // exclusively to retire the pass.
    std::shared_mutex writeGate_;
    std::uint64_t currentPassId_ = 0; // guarded by writeGate_
    std::uint64_t lastPassId_ = 0;    // user-interface thread
    // Makes a row's start (the count, its status text, the progress) and the completion check
    // one step each: otherwise the start of the last row could be counted, the completion text
    // written, and only then the start's "submitting row N" text land over it.
    std::mutex progressMutex_;

    // Declared last: destroyed first, so no thread outlives what it uses.
    base::ThreadGroup singleSubmits_;
    base::ThreadGroup passWorkers_;
};

} // namespace tavrin::submit
