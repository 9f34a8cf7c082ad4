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
    engine_.addListener(this);
    engine_.setNoteMaker([this](const submit::SubmitRow& row, const submit::RowResult& result) {
        text::Text note = submit::verdictNote(result);
        std::shared_ptr<const EarlierTally> tally;
        {
            const std::lock_guard lock(tallyMutex_);
            tally = earlierTally_;
        }
        if (!tally || !*tally)
            return note;
        // What the history says with this check counted in.
        if (const std::optional<std::pair<int, int>> earlier = (*tally)(row)) {
            const int checks = earlier->first + 1;
            const int successes = earlier->second + (result.mark == library::Mark::Success ? 1 : 0);
            note += "\r\n" + msg::verdict::kHistory + text::decimal(checks) + msg::verdict::kHistoryOf +
                    text::decimal(successes) + msg::verdict::kHistoryTimes;
        }
        return note;
    });
}

void SubmitHandlers::setEarlierTally(EarlierTally tally)
{
    const std::lock_guard lock(tallyMutex_);
    earlierTally_ = std::make_shared<const EarlierTally>(std::move(tally));
}

SubmitHandlers::~SubmitHandlers()
{
    engine_.removeListener(this);
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
