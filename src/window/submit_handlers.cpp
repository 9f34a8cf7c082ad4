#include "window/submit_handlers.h"

#include "submit/pass_progress.h"
#include "submit/submit_messages.h"
#include "submit/verdict_note.h"
#include "text/messages.h"
#include "text/number_text.h"

namespace tavrin::window {

SubmitHandlers::SubmitHandlers(SubmitControls controls, submit::SubmissionEngine& engine)
    : controls_(controls)
    , engine_(engine)
{
    engine_.setListener(this);
    engine_.setNoteMaker([](const submit::RowResult& result) { return submit::verdictNote(result); });
}

SubmitHandlers::~SubmitHandlers()
{
    engine_.setListener(nullptr);
}

void SubmitHandlers::toggleSubmit()
{
    // The caption follows the state: a pass that runs or has completed is closed by the button,
    // anything else is started.
    const submit::PassState state = engine_.state();
    if (state == submit::PassState::Idle || state == submit::PassState::Stopped)
        startPass();
    else
        stopPass();
}

void SubmitHandlers::onLoopTick()
{
    if (controls_.loopSubmit.isChecked() && engine_.passEnded())
        toggleSubmit();
}

void SubmitHandlers::startPass()
{
    const int threads = text::intFromText(controls_.threadCountBox.text());
    if (engine_.start(threads) == submit::StartResult::BadThreadCount) {
        controls_.statusLine.setText(msg::kBadThreadCount);
        return;
    }
    controls_.submitButton.setText(msg::caption::kStopSubmit);
}

void SubmitHandlers::stopPass()
{
    controls_.submitButton.setText(msg::caption::kStartSubmit);
    // After this no worker of the pass writes, so the stop texts are the last word.
    engine_.stop();
    controls_.statusLine.setText(msg::kStoppedAll);
    controls_.progress.setPosition(0);
}

void SubmitHandlers::submitSelected(int selection)
{
    engine_.submitOne(selection);
}

void SubmitHandlers::rowStarted(const submit::SubmitRow& row, int started, int rows)
{
    controls_.statusLine.setText(submit::submittingMessage(started, row.url));
    controls_.progress.setPosition(submit::progressPercent(started, rows));
}

void SubmitHandlers::rowChecked(const submit::SubmitRow&, const submit::RowResult&)
{
    // The mark and its note are already in the list; the window shows nothing else per row.
}

void SubmitHandlers::passCompleted()
{
    controls_.statusLine.setText(msg::kAllSubmitted);
    controls_.progress.setPosition(0);
}

} // namespace tavrin::window
