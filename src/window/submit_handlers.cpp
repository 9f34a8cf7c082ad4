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
    // The caption follows the state: a running pass is stopped by the button, anything else
    // (no pass yet, a stopped or a completed one) starts a new one.
    if (engine_.state() == submit::PassState::Running)
        stopPass();
    else
        startPass(1);
}

void SubmitHandlers::onLoopTick()
{
    if (!controls_.loopSubmit.isChecked() || !engine_.passEnded())
        return;
    // The pause between passes: one tick says which pass completed, the next starts another.
    if (engine_.state() == submit::PassState::Completed && !roundAnnounced_) {
        controls_.statusLine.setText(submit::roundCompletedMessage(round_));
        roundAnnounced_ = true;
        return;
    }
    startPass(round_ + 1);
}

bool SubmitHandlers::hasSiteHost()
{
    if (!siteHost_ || !siteHost_().empty())
        return true;
    controls_.statusLine.setText(msg::kNeedSiteAddress);
    return false;
}

void SubmitHandlers::startPass(int round)
{
    if (!hasSiteHost())
        return;
    const int threads = text::intFromText(controls_.threadCountBox.text());
    // The caption first: a short pass can complete, and give the button back its start
    // caption, before start() has returned.
    controls_.submitButton.setText(msg::caption::kStopSubmit);
    if (engine_.start(threads) == submit::StartResult::BadThreadCount) {
        controls_.submitButton.setText(msg::caption::kStartSubmit);
        controls_.statusLine.setText(msg::kBadThreadCount);
        return;
    }
    round_ = round;
    roundAnnounced_ = false;
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
    if (selection < 0 || !hasSiteHost())
        return;
    engine_.submitOne(selection);
}

void SubmitHandlers::passStarted(const submit::PassInfo& info)
{
    const std::lock_guard lock(progressMutex_);
    passRows_ = info.rows;
    checkedRows_ = 0;
}

void SubmitHandlers::rowStarted(const submit::SubmitRow& row, int started, int)
{
    controls_.statusLine.setText(submit::submittingMessage(started, row.url));
}

void SubmitHandlers::rowChecked(const submit::SubmitRow&, const submit::RowResult&)
{
    // The mark and its note are already in the list; the bar counts the row.
    const std::lock_guard lock(progressMutex_);
    ++checkedRows_;
    controls_.progress.setPosition(submit::progressPercent(checkedRows_, passRows_));
}

void SubmitHandlers::passCompleted()
{
    controls_.statusLine.setText(msg::kAllSubmitted);
    controls_.progress.setPosition(0);
    controls_.submitButton.setText(msg::caption::kStartSubmit);
}

} // namespace tavrin::window
