// Submission passes: every row of the list fetched once by a group of worker threads, each row
// marked "√" or "×", with progress in the status line and the progress bar.
//
// One button starts and stops a pass by its caption; a 2-second timer repeats passes while the
// loop box is checked. Rows are shared out in equal blocks, one per block worker (claimed in the
// order the workers first run), and the rows left over go to one tail worker.
//
// Stopping is cooperative and immediate: stopPass() retires the pass under a write gate, so
// once it returns no worker of that pass writes a cell, the status line, the progress bar or a
// counter again, and the fetches in flight are cancelled. Nothing waits on the user-interface
// thread.
#pragma once

#include "platform/controls.h"
#include "platform/list_store.h"
#include "platform/thread_group.h"
#include "state/program_state.h"
#include "submit/row_check.h"

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
    // The row's position in the list at pass start: its marks go there.
    int listIndex = 0;
};

// The controls of the main window that a pass reads and writes.
struct SubmitControls
{
    platform::ListStore& list;             // 超级列表框1
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
    void blockWorker(const std::shared_ptr<Pass>& pass, const std::stop_token& stop);
    void tailWorker(const std::shared_ptr<Pass>& pass, const std::stop_token& stop);
    void submitOneRow(const Pass& pass, int position, const std::stop_token& stop);
    void completionCheck(const Pass& pass);
    void singleSubmitWorker(const std::stop_token& stop);
    // Runs `write` only while `pass` is the current pass; stopPass() waits for a write under way.
    template <typename Write> bool writeForPass(const Pass& pass, Write&& write);

    SubmitControls controls_;
    ProgramState& state_;
    RowCheck check_;
    RowObserver rowObserver_;

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
    platform::ThreadGroup singleSubmits_;
    platform::ThreadGroup passWorkers_;
};

} // namespace tavrin::submit
