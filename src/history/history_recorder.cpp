#include "history/history_recorder.h"

#include "base/background_thread.h"
#include "library/site_host.h"

#include <algorithm>

namespace tavrin::history {

int testCode(submit::ResponseTest test)
{
    // Written into every check: never renumber, only add.
    switch (test) {
    case submit::ResponseTest::Passed:
        return 0;
    case submit::ResponseTest::NoResponse:
        return 1;
    case submit::ResponseTest::NotFound:
        return 2;
    case submit::ResponseTest::EmptyBody:
        return 3;
    case submit::ResponseTest::MetaRefresh:
        return 4;
    case submit::ResponseTest::BrowserErrorPage:
        return 5;
    case submit::ResponseTest::HttpError:
        return 6;
    case submit::ResponseTest::NotMentioned:
        return 7;
    case submit::ResponseTest::NoLink:
        return 8;
    case submit::ResponseTest::SamePage:
        return 9;
    }
    return 0;
}

std::string testName(int code)
{
    static const submit::ResponseTest kByCode[] = {
        submit::ResponseTest::Passed,      submit::ResponseTest::NoResponse,
        submit::ResponseTest::NotFound,    submit::ResponseTest::EmptyBody,
        submit::ResponseTest::MetaRefresh, submit::ResponseTest::BrowserErrorPage,
        submit::ResponseTest::HttpError,   submit::ResponseTest::NotMentioned,
        submit::ResponseTest::NoLink,      submit::ResponseTest::SamePage,
    };
    if (code < 0 || code >= static_cast<int>(std::size(kByCode)))
        return "test " + std::to_string(code);
    if (code == 0)
        return "passed";
    return std::string(submit::describeTest(kByCode[code]));
}

HistoryRecorder::HistoryRecorder(std::filesystem::path path, std::string frontEnd,
                                 std::function<void(const std::string&)> onProblem, std::string shard)
    : path_(std::move(path))
    , frontEnd_(std::move(frontEnd))
    , shard_(std::move(shard))
    , onProblem_(std::move(onProblem))
    , writer_([this](const std::stop_token& stop) { writerLoop(stop); })
{}

HistoryRecorder::~HistoryRecorder()
{
    writer_.request_stop();
    changed_.notify_all();
    writer_.join();
}

// Forwards one engine's reports to the recorder, as a channel of its own.
class HistoryRecorder::ChannelListener final : public submit::PassListener
{
public:
    explicit ChannelListener(HistoryRecorder& recorder)
        : recorder_(recorder)
    {}
    void passStarted(const submit::PassInfo& info) override { recorder_.startRun(channel_, info); }
    void rowStarted(const submit::SubmitRow&, int, int) override {}
    void rowChecked(const submit::SubmitRow& row, const submit::RowResult& result) override
    {
        recorder_.queueCheck(channel_, row, result);
    }
    void passCompleted() override {}
    void passStopped() override { recorder_.requestFlush(); }

private:
    HistoryRecorder& recorder_;
    Channel channel_; // guarded by the recorder's mutex
};

void HistoryRecorder::trackEarlierTallies()
{
    const std::lock_guard lock(mutex_);
    trackTallies_ = true;
}

std::unique_ptr<submit::PassListener> HistoryRecorder::makeListener()
{
    return std::make_unique<ChannelListener>(*this);
}

void HistoryRecorder::passStarted(const submit::PassInfo& info)
{
    startRun(ownChannel_, info);
}

void HistoryRecorder::rowStarted(const submit::SubmitRow&, int, int) {}

void HistoryRecorder::rowChecked(const submit::SubmitRow& row, const submit::RowResult& result)
{
    queueCheck(ownChannel_, row, result);
}

void HistoryRecorder::passCompleted() {}

void HistoryRecorder::passStopped()
{
    // What the stopped pass checked is written now rather than at the next second.
    requestFlush();
}

void HistoryRecorder::startRun(Channel& channel, const submit::PassInfo& info)
{
    {
        const std::lock_guard lock(mutex_);
        if (givenUp_)
            return;
        const bool sameSite = channel.runSequence != 0 && channel.siteHost == info.siteHost;
        channel.siteHost = info.siteHost;
        channel.runSequence = ++runSequence_;
        bool readTallies = false;
        if (&channel == &ownChannel_ && trackTallies_) {
            if (sameSite && earlierRead_) {
                for (const auto& [templateText, tally] : thisPass_) {
                    auto& earlier = earlier_[templateText];
                    earlier.first += tally.first;
                    earlier.second += tally.second;
                }
            } else {
                earlier_.clear();
                earlierRead_ = false;
                readTallies = true;
            }
            thisPass_.clear();
        }
        RunInfo run;
        run.started = now();
        run.siteHost = info.siteHost;
        run.frontEnd = frontEnd_;
        run.threads = info.threads;
        run.rows = info.rows;
        run.shard = shard_;
        queuedRuns_.push_back(RunStart{std::move(run), channel.runSequence, readTallies});
    }
    // The run is begun at once, so that what the history held for its site is known early.
    changed_.notify_all();
}

void HistoryRecorder::queueCheck(const Channel& channel, const submit::SubmitRow& row,
                                 const submit::RowResult& result)
{
    // A row that no proxy could carry was not checked: it is no check of its template, neither
    // a success nor a failure. Kept out of the history, it can never count towards pruning it,
    // in this version or in an older one reading the same file.
    if (result.mark == library::Mark::NotChecked)
        return;
    CheckRecord check;
    check.url = row.url;
    check.success = result.mark == library::Mark::Success;
    check.test = testCode(result.decidedBy);
    check.status = result.httpStatus;
    check.milliseconds = result.milliseconds;
    check.attempts = result.evidence.attempts;
    check.finalUrl = result.evidence.finalUrl;
    check.bytes = result.evidence.bytes;
    check.titleUtf8 = result.evidence.titleUtf8;
    check.mentions = result.evidence.mentionsSite;
    check.links = result.evidence.linksToSite;
    check.at = now();
    bool batchFull = false;
    {
        const std::lock_guard lock(mutex_);
        if (givenUp_ || channel.runSequence == 0)
            return;
        // A row without a template stands for its URL with the site host put back.
        check.templateText =
            row.templateText ? *row.templateText : library::collapseHost(row.url, channel.siteHost);
        // Most URLs are their template with the site put in: kept as that, they cost no bytes.
        if (check.finalUrl == check.url)
            check.finalUrl.clear();
        if (library::expandTemplate(check.templateText, channel.siteHost) == check.url)
            check.url.clear();
        if (&channel == &ownChannel_ && trackTallies_) {
            auto& tally = thisPass_[check.templateText];
            ++tally.first;
            tally.second += check.success ? 1 : 0;
        }
        queuedChecks_.push_back(PendingCheck{channel.runSequence, std::move(check)});
        batchFull = queuedChecks_.size() >= kBatchRows;
    }
    if (batchFull)
        changed_.notify_all();
}

void HistoryRecorder::requestFlush()
{
    {
        const std::lock_guard lock(mutex_);
        flushWanted_ = true;
    }
    changed_.notify_all();
}

void HistoryRecorder::flush()
{
    std::unique_lock lock(mutex_);
    flushWanted_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] {
        return givenUp_ ||
               (openStore_ && queuedRuns_.empty() && queuedChecks_.empty() && !committing_ && !flushWanted_);
    });
}

std::optional<std::int64_t> HistoryRecorder::lastRun() const
{
    const std::lock_guard lock(mutex_);
    return lastRun_;
}

HistoryStore* HistoryRecorder::store()
{
    const std::lock_guard lock(mutex_);
    return openStore_;
}

std::optional<std::pair<int, int>> HistoryRecorder::earlierTally(const submit::SubmitRow& row) const
{
    const std::lock_guard lock(mutex_);
    const auto found = earlier_.find(row.templateText ? *row.templateText
                                                      : library::collapseHost(row.url, ownChannel_.siteHost));
    if (found == earlier_.end())
        return std::nullopt;
    return found->second;
}

std::string HistoryRecorder::problem() const
{
    const std::lock_guard lock(mutex_);
    return problem_;
}

void HistoryRecorder::giveUp(const std::string& problem)
{
    {
        const std::lock_guard lock(mutex_);
        givenUp_ = true;
        problem_ = problem;
        openStore_ = nullptr;
        queuedRuns_.clear();
        queuedChecks_.clear();
        committing_ = false;
        flushWanted_ = false;
    }
    changed_.notify_all();
    if (onProblem_)
        onProblem_(problem);
}

void HistoryRecorder::writerLoop(const std::stop_token& stop)
{
    // Behind the workers and the network when the processor is busy: a pass should not wait
    // for the history, which can wait for a quiet moment (a pass over the network has plenty).
    base::makeThisThreadBackground("tavrin-history");
    std::string problem;
    store_ = HistoryStore::open(path_, OpenMode::Record, problem);
    if (!store_) {
        giveUp(problem);
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        openStore_ = store_.get();
    }
    std::unique_lock lock(mutex_);
    auto firstQueued = std::chrono::steady_clock::now();
    bool waiting = false;
    for (;;) {
        const bool ending = stop.stop_requested();
        const bool due = !queuedRuns_.empty() || flushWanted_ || ending ||
                         queuedChecks_.size() >= kBatchRows ||
                         (waiting && std::chrono::steady_clock::now() - firstQueued >= kBatchInterval);
        if (givenUp_)
            return;
        if (!due) {
            if (!queuedChecks_.empty() && !waiting) {
                waiting = true;
                firstQueued = std::chrono::steady_clock::now();
            }
            changed_.wait_for(lock, kBatchInterval);
            continue;
        }
        std::deque<RunStart> runs = std::move(queuedRuns_);
        std::deque<PendingCheck> checks = std::move(queuedChecks_);
        queuedRuns_.clear();
        queuedChecks_.clear();
        flushWanted_ = false;
        committing_ = true;
        waiting = false;
        lock.unlock();
        commit(runs, checks);
        lock.lock();
        committing_ = false;
        changed_.notify_all();
        if (ending && queuedRuns_.empty() && queuedChecks_.empty())
            return;
    }
}

void HistoryRecorder::commit(std::deque<RunStart>& runs, std::deque<PendingCheck>& checks)
{
    std::string problem;
    // Writes the checks not yet written, one run at a time in the order they came: those of
    // runs begun before `limit` only, or all.
    std::vector<bool> written(checks.size(), false);
    std::vector<CheckRecord> batch;
    const auto writeChecks = [&](std::optional<std::uint64_t> limit) {
        for (std::size_t at = 0; at < checks.size(); ++at) {
            const std::uint64_t sequence = checks[at].runSequence;
            if (written[at] || (limit && sequence >= *limit))
                continue;
            batch.clear();
            Seconds last = 0;
            for (std::size_t next = at; next < checks.size(); ++next) {
                if (written[next] || checks[next].runSequence != sequence)
                    continue;
                last = std::max(last, checks[next].check.at);
                batch.push_back(std::move(checks[next].check));
                written[next] = true;
            }
            const auto id = runIds_.find(sequence);
            if (id != runIds_.end() && !store_->record(id->second, batch, last, problem)) {
                giveUp(problem);
                return false;
            }
        }
        return true;
    };
    for (const RunStart& run : runs) {
        std::optional<std::unordered_map<text::Text, std::pair<int, int>>> tallies;
        if (run.readTallies) {
            // What the site's history held before this run: the earlier runs' checks first.
            if (!writeChecks(run.sequence))
                return;
            tallies = store_->tallies(run.info.siteHost, problem);
        }
        const std::optional<std::int64_t> id = store_->beginRun(run.info, problem);
        if (!id) {
            giveUp(problem);
            return;
        }
        runIds_[run.sequence] = *id;
        const std::lock_guard lock(mutex_);
        lastRun_ = *id;
        if (tallies && run.sequence == ownChannel_.runSequence) {
            earlier_ = std::move(*tallies);
            earlierRead_ = true;
        }
    }
    (void)writeChecks(std::nullopt);
}

} // namespace tavrin::history
