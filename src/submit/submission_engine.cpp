#include "submit/submission_engine.h"

#include "submit/pass_plan.h"
#include "text/messages.h"
#include "text/number_text.h"

#include <atomic>
#include <mutex>

namespace tavrin::submit {

namespace {

constexpr int kMarkColumn = 2;
constexpr int kUrlColumn = 1;

} // namespace

struct SubmissionEngine::Pass
{
    std::uint64_t id = 0;
    std::vector<SubmitRow> rows;
    int threadCount = 0;
    PassPlan plan;
    // Start of the next block not yet claimed by a block worker.
    std::atomic<int> blockCursor{0};

    [[nodiscard]] int rowCount() const { return static_cast<int>(rows.size()); }
};

SubmissionEngine::SubmissionEngine(SubmitControls controls, ProgramState& state, RowCheck check)
    : controls_(controls)
    , state_(state)
    , check_(std::move(check))
{}

SubmissionEngine::~SubmissionEngine()
{
    {
        std::unique_lock lock(writeGate_);
        ++currentPassId_;
    }
    passWorkers_.requestStop();
    singleSubmits_.requestStop();
}

template <typename Write> bool SubmissionEngine::writeForPass(const Pass& pass, Write&& write)
{
    std::shared_lock lock(writeGate_);
    if (pass.id != currentPassId_)
        return false;
    write();
    return true;
}

void SubmissionEngine::toggleSubmit()
{
    if (controls_.submitButton.text() == msg::caption::kStartSubmit)
        startPass();
    else
        stopPass();
}

void SubmissionEngine::onLoopTick()
{
    if (controls_.loopSubmit.isChecked() && state_.passEnded.load() == 1)
        toggleSubmit();
}

void SubmissionEngine::startPass()
{
    const int threads = text::intFromText(controls_.threadCountBox.text());
    if (threads < kMinThreads || threads > kMaxThreads) {
        controls_.statusLine.setText(msg::kBadThreadCount);
        return;
    }
    state_.passEnded = 0;
    controls_.submitButton.setText(msg::caption::kStopSubmit);

    auto pass = std::make_shared<Pass>();
    const std::vector<text::Text> urls = controls_.list.column(kUrlColumn);
    pass->rows.reserve(urls.size());
    for (std::size_t i = 0; i < urls.size(); ++i) {
        pass->rows.push_back(SubmitRow{urls[i], static_cast<int>(i)});
        controls_.list.setCell(static_cast<int>(i), kMarkColumn, msg::kMarkPending);
    }
    pass->threadCount = threads;
    pass->plan = planPass(pass->rowCount(), threads);
    pass->id = ++lastPassId_;
    {
        std::unique_lock lock(writeGate_);
        currentPassId_ = pass->id;
    }
    for (int worker = 1; worker <= threads; ++worker)
        passWorkers_.start([this, pass](const std::stop_token& stop) { blockWorker(pass, stop); });
    passWorkers_.start([this, pass](const std::stop_token& stop) { tailWorker(pass, stop); });
}

void SubmissionEngine::stopPass()
{
    controls_.submitButton.setText(msg::caption::kStartSubmit);
    {
        // Waits for a worker's write under way; after this no worker of the pass writes.
        std::unique_lock lock(writeGate_);
        ++currentPassId_;
    }
    passWorkers_.requestStop();
    controls_.statusLine.setText(msg::kStoppedAll);
    controls_.progress.setPosition(0);
    state_.startedCount = 0;
    state_.passEnded = 1;
}

void SubmissionEngine::blockWorker(const std::shared_ptr<Pass>& pass, const std::stop_token& stop)
{
    const int blockSize = pass->plan.blockSize;
    const int start = pass->blockCursor.fetch_add(blockSize);
    for (int k = 1; k <= blockSize; ++k) {
        if (stop.stop_requested())
            return;
        const int position = start + k;
        if (position > pass->rowCount())
            continue;
        submitOneRow(*pass, position, stop);
    }
    completionCheck(*pass);
}

void SubmissionEngine::tailWorker(const std::shared_ptr<Pass>& pass, const std::stop_token& stop)
{
    const int base = pass->rowCount() - pass->plan.tailCount;
    for (int j = 1; j <= pass->plan.tailCount; ++j) {
        if (stop.stop_requested())
            return;
        submitOneRow(*pass, base + j, stop);
    }
    completionCheck(*pass);
}

void SubmissionEngine::submitOneRow(const Pass& pass, int position, const std::stop_token& stop)
{
    const SubmitRow& row = pass.rows[static_cast<std::size_t>(position - 1)];
    const bool started = writeForPass(pass, [&] {
        const std::lock_guard progressLock(progressMutex_);
        const int number = state_.startedCount.fetch_add(1) + 1;
        controls_.statusLine.setText(msg::kSubmitting + text::decimal(number) + msg::kSubmittingUrl +
                                     row.url);
        controls_.progress.setPosition(progressPercent(state_.startedCount.load(), pass.rowCount()));
        // A row deleted since the pass started is simply not marked.
        controls_.list.setCell(row.listIndex, kMarkColumn, msg::kMarkWorking);
    });
    if (!started)
        return;
    const RowOutcome outcome = check_(row.url, false, stop);
    if (stop.stop_requested())
        return;
    writeForPass(pass, [&] {
        controls_.list.setCell(row.listIndex, kMarkColumn, outcome.mark);
        if (rowObserver_)
            rowObserver_(row, outcome);
    });
}

void SubmissionEngine::completionCheck(const Pass& pass)
{
    writeForPass(pass, [&] {
        const std::lock_guard progressLock(progressMutex_);
        if (state_.startedCount.load() != pass.rowCount())
            return;
        controls_.statusLine.setText(msg::kAllSubmitted);
        controls_.progress.setPosition(0);
        state_.startedCount = 0;
        state_.passEnded = 1;
    });
}

void SubmissionEngine::submitSelected()
{
    singleSubmits_.start([this](const std::stop_token& stop) { singleSubmitWorker(stop); });
}

void SubmissionEngine::singleSubmitWorker(const std::stop_token& stop)
{
    const int index = controls_.list.selection();
    if (index < 0)
        return;
    controls_.list.setCell(index, kMarkColumn, msg::kMarkWorking);
    const text::Text url = controls_.list.cell(index, kUrlColumn);
    const RowOutcome outcome = check_(url, true, stop);
    if (stop.stop_requested())
        return;
    controls_.list.setCell(index, kMarkColumn, outcome.mark);
}

void SubmissionEngine::waitForPassWorkers()
{
    passWorkers_.waitAll();
}

void SubmissionEngine::waitForSingleSubmits()
{
    singleSubmits_.waitAll();
}

} // namespace tavrin::submit
