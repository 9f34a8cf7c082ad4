#include "submit/submission_engine.h"

#include "library/mark.h"

#include <chrono>
#include <mutex>

namespace tavrin::submit {

struct SubmissionEngine::Pass
{
    Pass(std::vector<SubmitRow> passRows, const std::vector<text::Text>& urls, text::Text host,
         const HostTimes& knownTimes, int perHost)
        : rows(std::move(passRows))
        , siteHost(std::move(host))
        , scheduler(urls, knownTimes, perHost)
    {}

    std::uint64_t id = 0;
    const std::vector<SubmitRow> rows;
    // The host the rows were expanded with when the pass started.
    const text::Text siteHost;
    // Hands the rows out to the workers.
    RowScheduler scheduler;
    // Guarded by the engine's progressMutex_: the positions whose check is under way (at most
    // one per worker), the rows checked so far, and whether the pass has completed or may no
    // longer complete by itself (its rows were forgotten).
    std::vector<int> inHand;
    int checked = 0;
    bool completed = false;
    bool forgotten = false;

    [[nodiscard]] int rowCount() const { return static_cast<int>(rows.size()); }
};

namespace {

// A row whose check was stopped waits again, as long as it is still the row that was in hand
// (same URL) and nothing else has marked it since.
bool putBackToPending(base::ListStore& list, const SubmitRow& row)
{
    return list.updateRow(row.listIndex, [&row](base::ListStore::Row& listed) {
        if (listed.cells[library::kUrlColumn] != row.url ||
            library::markFromText(listed.cells[library::kMarkColumn]) != library::Mark::Working)
            return false;
        listed.cells[library::kMarkColumn] = library::markText(library::Mark::Pending);
        listed.note.clear();
        return true;
    });
}

} // namespace

SubmissionEngine::SubmissionEngine(base::ListStore& list, RowCheck check)
    : list_(list)
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

void SubmissionEngine::addListener(PassListener* listener)
{
    std::unique_lock lock(writeGate_);
    listeners_.push_back(listener);
}

void SubmissionEngine::removeListener(PassListener* listener)
{
    std::unique_lock lock(writeGate_);
    std::erase(listeners_, listener);
}

template <typename Report> void SubmissionEngine::tellListeners(Report&& report)
{
    for (PassListener* listener : listeners_)
        report(*listener);
}

text::Text SubmissionEngine::prepareRows()
{
    return prepareRows_ ? prepareRows_() : text::Text();
}

StartResult SubmissionEngine::start(int threads)
{
    if (threads < kMinThreads || threads > kMaxThreads)
        return StartResult::BadThreadCount;
    state_ = PassState::Running;

    text::Text siteHost = prepareRows();
    std::vector<base::ListStore::Row> listed = list_.rows();
    std::vector<SubmitRow> rows;
    std::vector<text::Text> urls;
    rows.reserve(listed.size());
    urls.reserve(listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        base::ListStore::Row& row = listed[i];
        urls.push_back(row.cells[library::kUrlColumn]);
        rows.push_back(SubmitRow{std::move(row.cells[library::kUrlColumn]), static_cast<int>(i),
                                 std::move(row.source),
                                 siteOfRow_ ? siteOfRow_(static_cast<int>(i)) : text::Text()});
    }
    listed.clear();
    // Every row waits again; what an earlier check found no longer applies.
    list_.updateRows([](base::ListStore::Row& row) {
        row.cells[library::kMarkColumn] = library::markText(library::Mark::Pending);
        row.note.clear();
        return true;
    });
    // Looping over the same services, the next pass starts the slowest of them first.
    const HostTimes knownTimes = lastPass_ ? lastPass_->scheduler.hostTimes() : HostTimes();
    auto pass = std::make_shared<Pass>(std::move(rows), urls, std::move(siteHost), knownTimes, perHost_);
    lastPass_ = pass;
    pass->id = ++lastPassId_;
    {
        std::unique_lock lock(writeGate_);
        currentPassId_ = pass->id;
        const PassInfo info{pass->rowCount(), threads, pass->siteHost};
        tellListeners([&info](PassListener& listener) { listener.passStarted(info); });
    }
    // One worker more than the thread count, as there always was.
    for (int worker = 0; worker <= threads; ++worker)
        passWorkers_.start([this, pass](const std::stop_token& stop) { passWorker(pass, stop); });
    return StartResult::Started;
}

void SubmissionEngine::stop()
{
    {
        // Waits for a worker's write under way; after this no worker of the pass writes, so the
        // rows put back here stay put back until a later pass marks them.
        std::unique_lock lock(writeGate_);
        ++currentPassId_;
        if (state_.load() == PassState::Running)
            tellListeners([](PassListener& listener) { listener.passStopped(); });
        if (lastPass_)
            putBackRowsInHand(*lastPass_);
    }
    passWorkers_.requestStop();
    startedCount_ = 0;
    state_ = PassState::Stopped;
}

void SubmissionEngine::putBackRowsInHand(Pass& pass)
{
    const std::lock_guard progressLock(progressMutex_);
    for (const int position : pass.inHand)
        putBackToPending(list_, pass.rows[static_cast<std::size_t>(position - 1)]);
    pass.inHand.clear();
}

void SubmissionEngine::forgetStartedRows()
{
    const std::lock_guard progressLock(progressMutex_);
    startedCount_ = 0;
    if (lastPass_)
        lastPass_->forgotten = true;
}

void SubmissionEngine::passWorker(const std::shared_ptr<Pass>& pass, const std::stop_token& stop)
{
    while (!stop.stop_requested()) {
        const std::optional<int> position = pass->scheduler.claim();
        if (!position) {
            if (pass->scheduler.handedOut())
                break;
            // Every host with rows left is at its cap: wait for one of its rows to finish.
            pass->scheduler.waitForRoom(stop);
            continue;
        }
        const auto started = std::chrono::steady_clock::now();
        submitOneRow(*pass, *position, stop);
        pass->scheduler.finished(*position, std::chrono::steady_clock::now() - started);
    }
    // A pass without rows has nothing to count: it completes as its workers find nothing to do.
    if (!stop.stop_requested())
        writeForPass(*pass, [&] { countChecked(*pass, std::nullopt); });
}

void SubmissionEngine::submitOneRow(Pass& pass, int position, const std::stop_token& stop)
{
    const SubmitRow& row = pass.rows[static_cast<std::size_t>(position - 1)];
    const bool started = writeForPass(pass, [&] {
        const std::lock_guard progressLock(progressMutex_);
        const int number = startedCount_.fetch_add(1) + 1;
        pass.inHand.push_back(position);
        tellListeners([&](PassListener& listener) { listener.rowStarted(row, number, pass.rowCount()); });
        // A row deleted, moved or given another URL since the pass started is not marked.
        library::setMark(list_, row.listIndex, library::Mark::Working, {}, &row.url);
    });
    if (!started)
        return;
    const RowResult result = check_(
        RowRequest{row.url, row.templateText, row.siteHost.empty() ? pass.siteHost : row.siteHost, false},
        stop);
    if (stop.stop_requested())
        return;
    text::Text note = makeNote_ ? makeNote_(row, result) : text::Text();
    writeForPass(pass, [&] {
        library::setMark(list_, row.listIndex, result.mark, std::move(note), &row.url);
        tellListeners([&](PassListener& listener) { listener.rowChecked(row, result); });
        // Counted once its report is done, so the completion cannot overtake it.
        countChecked(pass, position);
    });
}

void SubmissionEngine::countChecked(Pass& pass, std::optional<int> position)
{
    const std::lock_guard progressLock(progressMutex_);
    if (position) {
        std::erase(pass.inHand, *position);
        ++pass.checked;
    }
    if (pass.completed || pass.forgotten || pass.checked != pass.rowCount())
        return;
    pass.completed = true;
    startedCount_ = 0;
    tellListeners([](PassListener& listener) { listener.passCompleted(); });
    // Set once the report is done: whoever sees the pass completed finds its texts in place.
    state_ = PassState::Completed;
}

void SubmissionEngine::submitOne(int row)
{
    if (row < 0 || row >= list_.rowCount())
        return;
    singleSubmits_.start([this, row, siteHost = prepareRows()](const std::stop_token& stop) {
        singleSubmitWorker(row, siteHost, stop);
    });
}

void SubmissionEngine::singleSubmitWorker(int row, const text::Text& siteHost, const std::stop_token& stop)
{
    const text::Text url = list_.cell(row, library::kUrlColumn);
    if (!library::setMark(list_, row, library::Mark::Working, {}, &url))
        return;
    const SubmitRow submitRow{url, row, list_.source(row), siteHost};
    const RowResult result = check_(RowRequest{url, submitRow.templateText, siteHost, true}, stop);
    if (stop.stop_requested())
        return;
    library::setMark(list_, row, result.mark, makeNote_ ? makeNote_(submitRow, result) : text::Text(), &url);
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
