#include "submit/submission_engine.h"

#include "submit/pass_plan.h"
#include "submit/verdict_note.h"
#include "text/messages.h"
#include "text/number_text.h"

#include <chrono>
#include <mutex>

namespace tavrin::submit {

namespace {

constexpr int kMarkColumn = 2;
constexpr int kUrlColumn = 1;

} // namespace

struct SubmissionEngine::Pass
{
    Pass(std::vector<SubmitRow> passRows, const std::vector<text::Text>& urls, text::Text host,
         const HostTimes& knownTimes)
        : rows(std::move(passRows))
        , siteHost(std::move(host))
        , scheduler(urls, knownTimes)
    {}

    std::uint64_t id = 0;
    const std::vector<SubmitRow> rows;
    // The host the rows were expanded with when the pass started.
    const text::Text siteHost;
    // Hands the rows out to the workers.
    RowScheduler scheduler;

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

text::Text SubmissionEngine::prepareRows()
{
    return prepareRows_ ? prepareRows_() : text::Text();
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

    text::Text siteHost = prepareRows();
    std::vector<base::ListStore::Row> listed = controls_.list.rows();
    std::vector<SubmitRow> rows;
    std::vector<text::Text> urls;
    rows.reserve(listed.size());
    urls.reserve(listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        base::ListStore::Row& row = listed[i];
        urls.push_back(row.cells[kUrlColumn]);
        rows.push_back(
            SubmitRow{std::move(row.cells[kUrlColumn]), static_cast<int>(i), std::move(row.source)});
    }
    listed.clear();
    // Every row waits again; what an earlier check found no longer applies.
    controls_.list.updateRows([](base::ListStore::Row& row) {
        row.cells[kMarkColumn] = msg::kMarkPending;
        row.note.clear();
        return true;
    });
    // Looping over the same services, the next pass starts the slowest of them first.
    const HostTimes knownTimes = lastPass_ ? lastPass_->scheduler.hostTimes() : HostTimes();
    auto pass = std::make_shared<Pass>(std::move(rows), urls, std::move(siteHost), knownTimes);
    lastPass_ = pass;
    pass->id = ++lastPassId_;
    {
        std::unique_lock lock(writeGate_);
        currentPassId_ = pass->id;
    }
    // One worker more than the thread count, as there always was.
    for (int worker = 0; worker <= threads; ++worker)
        passWorkers_.start([this, pass](const std::stop_token& stop) { passWorker(pass, stop); });
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

void SubmissionEngine::passWorker(const std::shared_ptr<Pass>& pass, const std::stop_token& stop)
{
    while (!stop.stop_requested()) {
        const std::optional<int> position = pass->scheduler.claim();
        if (!position)
            break;
        const auto started = std::chrono::steady_clock::now();
        submitOneRow(*pass, *position, stop);
        pass->scheduler.finished(*position, std::chrono::steady_clock::now() - started);
    }
    if (!stop.stop_requested())
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
        // A row deleted, moved or given another URL since the pass started is not marked.
        controls_.list.setCellAndNoteIf(row.listIndex, kUrlColumn, row.url, kMarkColumn, msg::kMarkWorking,
                                        {});
    });
    if (!started)
        return;
    const RowOutcome outcome = check_(RowRequest{row.url, row.templateText, pass.siteHost, false}, stop);
    if (stop.stop_requested())
        return;
    text::Text note = verdictNote(outcome);
    writeForPass(pass, [&] {
        controls_.list.setCellAndNoteIf(row.listIndex, kUrlColumn, row.url, kMarkColumn, outcome.mark,
                                        std::move(note));
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
    singleSubmits_.start([this, siteHost = prepareRows()](const std::stop_token& stop) {
        singleSubmitWorker(siteHost, stop);
    });
}

void SubmissionEngine::singleSubmitWorker(const text::Text& siteHost, const std::stop_token& stop)
{
    const int index = controls_.list.selection();
    if (index < 0)
        return;
    const text::Text url = controls_.list.cell(index, kUrlColumn);
    controls_.list.setCellAndNoteIf(index, kUrlColumn, url, kMarkColumn, msg::kMarkWorking, {});
    const RowOutcome outcome = check_(RowRequest{url, controls_.list.source(index), siteHost, true}, stop);
    if (stop.stop_requested())
        return;
    controls_.list.setCellAndNoteIf(index, kUrlColumn, url, kMarkColumn, outcome.mark, verdictNote(outcome));
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
