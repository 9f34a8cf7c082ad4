// The main window's side of a submission pass: the start/stop button, the loop timer and the
// pop-up item 提交网址, and what the status line and the progress bar show while a pass runs.
//
// The button's caption, the status texts and the bar are made here from the engine's state and
// reports; nothing is read back from a control to learn what the engine is doing. The captions
// and texts are the program's own: "停止提交" while a pass runs, "开始提交" otherwise (none yet,
// stopped, or completed: one press starts the next pass). The bar follows the rows checked, so
// it is full when the last mark is in and 全部提交完成！ follows. With 循环提交 checked, the tick of
// the 2-second timer after a completed pass says which pass of the loop completed (第N轮完成) and
// the tick after that starts the next one; after a stopped pass the next tick starts one.
//
// A pass and 提交网址 need a site host: without one every template would be asked about nothing,
// and pages that ignore an empty query would be marked √.
//
// Threads: the handlers run on the user-interface thread; the PassListener reports arrive on
// the engine's worker threads (passStarted on the user-interface thread) and only write
// controls (which hand that to the user-interface thread themselves).
#pragma once

#include "platform/controls.h"
#include "submit/submission_engine.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace tavrin::window {

// The controls of the main window that a pass reads and writes.
struct SubmitControls
{
    platform::TextControl& submitButton;   // 按钮1
    platform::TextControl& threadCountBox; // 编辑框3
    platform::CheckControl& loopSubmit;    // 选择框2
    platform::TextControl& statusLine;     // 透明标签2
    platform::ProgressControl& progress;   // 进度条1
};

class SubmitHandlers final : public submit::PassListener
{
public:
    // Becomes the engine's listener and gives its marks the window's notes.
    SubmitHandlers(SubmitControls controls, submit::SubmissionEngine& engine);
    // Stops listening: the engine's workers report nothing to it once this returns.
    ~SubmitHandlers() override;
    SubmitHandlers(const SubmitHandlers&) = delete;
    SubmitHandlers& operator=(const SubmitHandlers&) = delete;

    // The start/stop button.
    void toggleSubmit();
    // The loop timer's tick.
    void onLoopTick();
    // 提交网址 on the row at `selection` (-1: none, nothing happens).
    void submitSelected(int selection);

    // Where a pass and 提交网址 learn the site host they would ask about, as the address box
    // holds it now; while it is empty neither starts. Unset, the host is not looked at.
    // User-interface thread.
    using SiteHost = std::function<text::Text()>;
    void setSiteHost(SiteHost siteHost) { siteHost_ = std::move(siteHost); }

    // Where the note over a mark learns what the history held for a row before this check:
    // its earlier checks and successes, nothing when it has none. Called on worker threads.
    using EarlierTally = std::function<std::optional<std::pair<int, int>>(const submit::SubmitRow& row)>;
    void setEarlierTally(EarlierTally tally);

    // PassListener: worker threads (passStarted: the user-interface thread).
    void passStarted(const submit::PassInfo& info) override;
    void rowStarted(const submit::SubmitRow& row, int started, int rows) override;
    void rowChecked(const submit::SubmitRow& row, const submit::RowResult& result) override;
    void passCompleted() override;

private:
    // Starts the `round`-th pass of a loop (1: started by hand).
    void startPass(int round);
    void stopPass();
    // False, with the reason in the status line, when the address box holds no host.
    [[nodiscard]] bool hasSiteHost();

    SubmitControls controls_;
    submit::SubmissionEngine& engine_;
    SiteHost siteHost_;
    // User-interface thread: the pass of the loop that was started last, and whether the tick
    // has said it completed.
    int round_ = 0;
    bool roundAnnounced_ = false;
    // Set on the user-interface thread before a pass; read by the engine's workers.
    std::shared_ptr<const EarlierTally> earlierTally_;
    mutable std::mutex tallyMutex_;
    // The rows of the running pass and how many are checked; one writer of the bar at a time,
    // so that it never steps back.
    std::mutex progressMutex_;
    int passRows_ = 0;    // guarded by progressMutex_
    int checkedRows_ = 0; // guarded by progressMutex_
};

} // namespace tavrin::window
