// The main window's side of a submission pass: the start/stop button, the loop timer and the
// pop-up item 提交网址, and what the status line and the progress bar show while a pass runs.
//
// The button's caption, the status texts and the bar are made here from the engine's state and
// reports; nothing is read back from a control to learn what the engine is doing. The captions
// and texts are the program's own: "开始提交" when no pass runs (or it was stopped), "停止提交"
// while one runs and after it completed (the next press closes it, the one after starts anew);
// with 循环提交 checked, every tick of the 2-second timer after a pass ended presses the button.
//
// Threads: the handlers run on the user-interface thread; the PassListener reports arrive on
// the engine's worker threads and only write controls (which hand that to the user-interface
// thread themselves).
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

    // Where the note over a mark learns what the history held for a row before this check:
    // its earlier checks and successes, nothing when it has none. Called on worker threads.
    using EarlierTally = std::function<std::optional<std::pair<int, int>>(const submit::SubmitRow& row)>;
    void setEarlierTally(EarlierTally tally);

    // PassListener: worker threads.
    void rowStarted(const submit::SubmitRow& row, int started, int rows) override;
    void rowChecked(const submit::SubmitRow& row, const submit::RowResult& result) override;
    void passCompleted() override;

private:
    void startPass();
    void stopPass();

    SubmitControls controls_;
    submit::SubmissionEngine& engine_;
    // Set on the user-interface thread before a pass; read by the engine's workers.
    std::shared_ptr<const EarlierTally> earlierTally_;
    mutable std::mutex tallyMutex_;
};

} // namespace tavrin::window
