#include "cli/submit_command.h"

#include "base/file_io.h"
#include "base/utf8_path.h"
#include "cli/cli.h"
#include "cli/cli_texts.h"
#include "cli/history_database.h"
#include "cli/history_texts.h"
#include "cli/interrupt.h"
#include "cli/load_refusal.h"
#include "cli/number_option.h"
#include "cli/output_files.h"
#include "cli/pass_printer.h"
#include "cli/process_usage.h"
#include "cli/program_directory.h"
#include "cli/proxy_option.h"
#include "cli/several_sites.h"
#include "cli/shard.h"
#include "cli/site_option.h"
#include "cli/submit_lines.h"
#include "history/history_recorder.h"
#include "library/site_host.h"
#include "library/url_library.h"
#include "net/network_init.h"
#include "submit/http_row_check.h"
#include "submit/pass_progress.h"
#include "submit/submission_engine.h"
#include "text/encoding.h"
#include "text/messages.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>

namespace tavrin::cli {

namespace {

// How often the end of a pass and Ctrl-C are looked for, and how often the live line changes.
constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr auto kProgressInterval = std::chrono::milliseconds(200);
constexpr auto kPlainStatusInterval = std::chrono::seconds(2);
// How long the rows of a pass whose proxies have all been set aside may take to end by themselves.
constexpr auto kProxiesGoneGrace = std::chrono::seconds(5);
constexpr int kExitInterrupted = 130;

std::string utf8(const text::Text& gbk)
{
    return text::gbkToUtf8(gbk);
}

// Rows of the list whose mark is a verdict (√ or ×) rather than pending or in progress.
int markedRows(const base::ListStore& list)
{
    int marked = 0;
    for (int row = 0; row < list.rowCount(); ++row) {
        const std::optional<library::Mark> mark = library::markAt(list, row);
        marked += mark == library::Mark::Success || mark == library::Mark::Failure ? 1 : 0;
    }
    return marked;
}

// Why the history stopped recording, told once, from the recorder's thread to the command's.
class HistoryProblem
{
public:
    void set(const std::string& problem)
    {
        const std::lock_guard lock(mutex_);
        problem_ = problem;
    }
    void print(std::ostream& err)
    {
        const std::lock_guard lock(mutex_);
        if (!problem_.empty() && !printed_) {
            err << texts::kHistoryProblem << problem_ << '\n';
            printed_ = true;
        }
    }

private:
    std::mutex mutex_;
    std::string problem_;
    bool printed_ = false;
};

class SubmitCommand final : public Command
{
public:
    SubmitCommand(CLI::App& app, bool interactive)
        : interactive_(interactive)
    {
        command_ = app.add_subcommand("submit", std::string(texts::kSubmitDescription));
        command_->add_option("--site", sites_, std::string(texts::kSiteHelp));
        command_->add_option("--sites", sitesFile_, std::string(texts::kSitesHelp));
        command_->add_option("--templates", templates_, std::string(texts::kTemplatesHelp));
        command_->add_option("--threads", threads_, std::string(texts::kThreadsHelp))
            ->check(wholeNumberIn(submit::kMinThreads, submit::kMaxThreads));
        command_->add_option("--loop", passes_, std::string(texts::kLoopHelp))
            ->check(wholeNumberIn(1, kMaxPasses));
        command_->add_option("--timeout", timeoutSeconds_, std::string(texts::kTimeoutHelp))
            ->check(wholeNumberIn(0, kMaxTimeoutSeconds));
        CLI::Option* proxy = command_->add_option("--proxy", proxy_, std::string(texts::kProxyHelp));
        command_->add_option("--proxies", proxies_, std::string(texts::kProxiesHelp))->excludes(proxy);
        command_->add_option("--save", save_, std::string(texts::kSaveHelp));
        command_->add_flag("--only-success", onlySuccess_, std::string(texts::kOnlySuccessHelp));
        command_->add_option("--json", json_, std::string(texts::kJsonHelp));
        command_->add_flag("--pass-stats", passStats_, std::string(texts::kPassStatsHelp));
        command_->add_flag("--require-mention", checks_.requireMention,
                           std::string(texts::kRequireMentionHelp));
        command_->add_flag("--require-link", checks_.requireLink, std::string(texts::kRequireLinkHelp));
        command_->add_flag("--baseline", checks_.baseline, std::string(texts::kBaselineHelp));
        command_->add_option("--per-host", perHost_, std::string(texts::kPerHostHelp))
            ->check(wholeNumberIn(1, submit::kMaxThreads));
        shardOption_ = command_->add_option("--shard", shardText_, std::string(texts::kShardHelp));
        CLI::Option* database = addDatabaseOption(*command_, database_);
        command_->add_flag("--no-history", noHistory_, std::string(texts::kNoHistoryHelp))
            ->excludes(database);
    }

    [[nodiscard]] bool chosen() const override { return command_->parsed(); }

    int execute(std::ostream& out, std::ostream& err) override
    {
        const std::optional<Arguments> arguments = readArguments(err);
        if (!arguments)
            return kExitBadArguments;
        const std::shared_ptr<submit::ProxyPool>& proxyPool = arguments->proxyPool;
        const bool sharded = arguments->shard.has_value();
        const Shard shard = arguments->shard.value_or(Shard{});
        const std::vector<text::Text>& hosts = arguments->hosts;
        const bool severalSites = hosts.size() > 1;
        net::initNetwork();
        clearInterrupt();
        const std::filesystem::path templates =
            templates_.empty() ? defaultLibraryFile("url.txt") : base::pathFromUtf8(templates_);
        // Found now rather than after the passes, whose work would then be lost.
        if (!outputsUsable(templates, err))
            return kExitBadArguments;

        base::ListStore list;
        library::UrlLibrary library(list, hosts.front());
        // A file the window would refuse is refused here too, before any pass starts.
        const library::LoadResult loaded = library.load(templates);
        if (const std::optional<std::string> refused = loadRefusal(loaded)) {
            err << *refused << '\n';
            return kExitBadArguments;
        }
        out << loadedLine(loaded) << '\n';
        const std::string shardName = sharded ? shard.text() : std::string();
        if (!shardName.empty()) {
            const int templateCount = list.rowCount();
            keepShard(list, shard);
            out << texts::kShardOf << shardName << ": " << list.rowCount() << texts::kShardRowsOf
                << templateCount << texts::kShardTemplates << '\n';
        }

        // Several sites: the templates once per site, all in one list, so that one pass over it
        // shares the workers between the sites.
        const int rowsPerSite = list.rowCount();
        if (severalSites)
            spreadOverSites(list, hosts);

        // The report goes to disk row by row: a looping run over a large list would otherwise
        // hold every row of every pass until the end. It is put in place when the run ends.
        std::optional<base::AtomicFileWriter> report;
        if (!json_.empty())
            report.emplace(json_);
        // Before the engine, which is gone (its workers joined) before the printer it reports to.
        PassPrinter printer(report ? &*report : nullptr, shardName);
        const auto siteOfRow = [&hosts, rowsPerSite](int listIndex) {
            return rowsPerSite > 0 ? hosts[static_cast<std::size_t>(listIndex / rowsPerSite)] : hosts.front();
        };
        if (severalSites)
            printer.setSiteOf(siteOfRow);
        // The history is written by a thread of its own; what goes wrong with it is said between
        // passes, and the run goes on without it.
        HistoryProblem historyProblem;
        std::optional<history::HistoryRecorder> recorder;
        if (!noHistory_) {
            recorder.emplace(
                databasePath(database_), "cli",
                [&historyProblem](const std::string& problem) { historyProblem.set(problem); }, shardName);
        }
        // Each site a run of its own in the history.
        std::optional<SiteRuns> siteRuns;
        if (recorder && severalSites)
            siteRuns.emplace(*recorder, hosts, rowsPerSite);
        submit::SubmissionEngine engine(list, submit::httpRowCheck(checkOptions(proxyPool)));
        engine.setPrepareRows([host = library.siteHost()] { return host; });
        engine.setPerHostLimit(perHost_);
        if (severalSites)
            engine.setSiteOfRow(siteOfRow);
        engine.addListener(&printer);
        if (siteRuns)
            engine.addListener(&*siteRuns);
        else if (recorder)
            engine.addListener(&*recorder);

        std::size_t proxiesReported = 0;
        bool stopped = false;
        for (int pass = 1; pass <= passes_ && !stopped; ++pass) {
            // A pass with every proxy set aside could check nothing: it would be stopped at once.
            if (proxyPool && proxyPool->exhausted())
                break;
            printer.beginPass(pass);
            const auto passStart = std::chrono::steady_clock::now();
            // The thread count was checked when the options were read.
            (void)engine.start(threads_);
            stopped = watchPass(out, printer, list.rowCount(), engine, proxyPool.get());
            engine.waitForPassWorkers();
            if (passStats_)
                printPassStats(err, pass, list, printer, std::chrono::steady_clock::now() - passStart);
            if (interactive_)
                out << '\n';
            // Once per pass, a stopped one too: its workers are joined, so every count is in.
            out << passSummaryLine(pass, {printer.succeeded(), printer.failed(), list.rowCount()}, stopped)
                << '\n';
            historyProblem.print(err);
            if (proxyPool)
                printSetAside(err, *proxyPool, proxiesReported);
        }

        if (severalSites)
            printSiteSummary(out, list, hosts);
        if (recorder) {
            recorder->flush();
            // The recorder's own word: flush() can return once it has given up, before its
            // thread has passed the problem on.
            if (const std::string problem = recorder->problem(); !problem.empty())
                historyProblem.set(problem);
            historyProblem.print(err);
        }
        const bool proxiesGone = proxyPool && proxyPool->exhausted();
        if (proxiesGone)
            err << (proxies_.empty() ? texts::kTheProxySetAside : texts::kEveryProxySetAside) << '\n';
        const int code = proxiesGone ? kExitFailure : stopped ? kExitInterrupted : kExitOk;
        // With no row to write nothing is written: an empty file over the template file (every
        // row failed while the network was down, say) would lose the whole library.
        const library::RowsToSave rows =
            onlySuccess_ ? library::RowsToSave::AllButFailed : library::RowsToSave::Every;
        return writeOutputs(
            out, err, code, stopped,
            [&] {
                return severalSites ? saveForSites(list, hosts, save_, rows, library::EmptySave::Decline)
                                    : library.saveTo(save_, rows, library::EmptySave::Decline);
            },
            rowsPerSite, report);
    }

private:
    // Writes --save (through `save`, which chooses among `templateCount` templates) and puts the
    // --json report in place, even after a stop; the exit code `code`, or 1 when one of them
    // could not be written.
    int writeOutputs(std::ostream& out, std::ostream& err, int code, bool stopped,
                     const std::function<library::SaveResult()>& save, int templateCount,
                     std::optional<base::AtomicFileWriter>& report) const
    {
        if (!save_.empty()) {
            const library::SaveResult saved = save();
            if (saved.saved()) {
                out << savedLine(saved.rows, templateCount - saved.rows, save_) << '\n';
            } else {
                if (saved.declinedEmpty)
                    err << texts::kNothingToSave << save_ << '\n';
                else
                    err << saveFailedLine(save_, *saved.failure) << '\n';
                code = stopped ? code : kExitFailure;
            }
        }
        if (report) {
            const std::string failure = report->commit();
            if (!failure.empty()) {
                err << texts::kCannotWriteReport << json_ << " (" << failure << ")\n";
                code = stopped ? code : kExitFailure;
            }
        }
        return code;
    }

    // How every row is checked, by the options.
    [[nodiscard]] submit::CheckOptions checkOptions(std::shared_ptr<submit::ProxyPool> proxyPool) const
    {
        submit::CheckOptions checks = checks_;
        checks.timeLimitSeconds = timeoutSeconds_ > 0 ? timeoutSeconds_ : net::kDefaultTimeLimitSeconds;
        checks.proxy = text::utf8ToGbk(proxy_);
        checks.proxies = std::move(proxyPool);
        // A cap counts rows: each then asks its service one request at a time.
        checks.oneRequestAtATime = perHost_ > 0;
        return checks;
    }

    // Whether --save and --json can be written, and name no file the run uses otherwise. --save
    // may name the template file: writing the checked library back is what it is for.
    [[nodiscard]] bool outputsUsable(const std::filesystem::path& templates, std::ostream& err) const
    {
        const NamedFile sites{"--sites", sitesFile_};
        const NamedFile proxies{"--proxies", proxies_};
        const NamedFile database{"--db", noHistory_ ? std::filesystem::path() : databasePath(database_)};
        const NamedFile save{"--save", save_};
        if (!save_.empty() && !outputUsable(save, {sites, proxies, database}, err))
            return false;
        return json_.empty() ||
               outputUsable({"--json", json_}, {{"--templates", templates}, sites, proxies, database, save},
                            err);
    }

    // What the options say once checked, before anything is read or sent.
    struct Arguments
    {
        std::shared_ptr<submit::ProxyPool> proxyPool;
        std::optional<Shard> shard;
        // Every site's host once (checked, in its ASCII form), in the order they were named.
        std::vector<text::Text> hosts;
    };

    // Checks the options that take more than a value: the proxy or the list of proxies, the
    // shard, the sites. Nothing, with the reason on `err`, when one of them cannot be used.
    std::optional<Arguments> readArguments(std::ostream& err) const
    {
        Arguments arguments;
        if (!proxyOptionUsable(proxy_, err))
            return std::nullopt;
        // One --proxy is a list of one: what each row learns of it serves the others.
        if (!proxy_.empty())
            arguments.proxyPool = std::make_shared<submit::ProxyPool>(std::vector{text::utf8ToGbk(proxy_)});
        if (!proxies_.empty() && !(arguments.proxyPool = readProxyList(proxies_, err)))
            return std::nullopt;
        if (shardOption_->count() > 0) {
            std::string why;
            arguments.shard = parseShard(shardText_, why);
            if (!arguments.shard) {
                err << texts::kBadShard << shardText_ << ' ' << why << '\n';
                return std::nullopt;
            }
        }
        std::vector<library::SiteAddress> siteAddresses;
        for (const std::string& site : sites_) {
            std::optional<library::SiteAddress> address = readSiteOption(texts::kSiteOption, site, err);
            if (!address)
                return std::nullopt;
            siteAddresses.push_back(std::move(*address));
        }
        if (!sitesFile_.empty()) {
            std::optional<std::vector<library::SiteAddress>> listed = readSiteList(sitesFile_, err);
            if (!listed)
                return std::nullopt;
            siteAddresses.insert(siteAddresses.end(), std::make_move_iterator(listed->begin()),
                                 std::make_move_iterator(listed->end()));
        }
        if (siteAddresses.empty()) {
            err << texts::kNeedsASite << '\n';
            return std::nullopt;
        }
        // The same host named twice is one site.
        for (library::SiteAddress& address : siteAddresses) {
            if (std::find(arguments.hosts.begin(), arguments.hosts.end(), address.host) ==
                arguments.hosts.end())
                arguments.hosts.push_back(std::move(address.host));
        }
        return arguments;
    }

    // Waits for the running pass to end, showing progress; answers an interrupt like the stop
    // button. Returns true when the pass was stopped.
    // A pass whose proxies have all been set aside ends the same way, once its rows have had
    // the moment they need to be marked as not checked (none waits on the network any more);
    // one that takes longer (a control page still under way) is stopped.
    bool watchPass(std::ostream& out, PassPrinter& printer, int rows, submit::SubmissionEngine& engine,
                   const submit::ProxyPool* proxies) const
    {
        const auto start = std::chrono::steady_clock::now();
        auto lastPlain = start;
        auto lastProgress = start;
        int lastStarted = 0;
        std::optional<std::chrono::steady_clock::time_point> proxiesGoneAt;
        // Completion is reported once the last row's check has been reported, so every count is
        // in when the wait returns. It wakes now and then for Ctrl-C (a signal handler can only
        // raise a flag) and for the progress line.
        for (;;) {
            if (printer.waitForCompletion(kPollInterval))
                break;
            const auto now = std::chrono::steady_clock::now();
            if (!proxiesGoneAt && proxies && proxies->exhausted())
                proxiesGoneAt = now;
            if (interruptRequested() || (proxiesGoneAt && now - *proxiesGoneAt >= kProxiesGoneGrace)) {
                engine.stop();
                return true;
            }
            if (interactive_) {
                if (now - lastProgress >= kProgressInterval) {
                    out << '\r' << progressLine(rows, printer, now - start) << std::flush;
                    lastProgress = now;
                }
            } else if (now - lastPlain >= kPlainStatusInterval) {
                const PassProgress progress = printer.progress();
                if (progress.started != lastStarted)
                    out << checkingLine(progress) << '\n';
                lastStarted = progress.started;
                lastPlain = now;
            }
        }
        if (interactive_)
            out << '\r' << progressLine(rows, printer, std::chrono::steady_clock::now() - start)
                << std::flush;
        // Every row of a pass whose proxies all went was marked, but the pass did not do its work.
        return proxiesGoneAt || (proxies && proxies->exhausted());
    }

    // The proxies set aside since the last time, one line each, with the reason.
    static void printSetAside(std::ostream& err, const submit::ProxyPool& pool, std::size_t& reported)
    {
        const std::vector<submit::ProxyPool::SetAside> setAside = pool.setAside();
        for (; reported < setAside.size(); ++reported) {
            const submit::ProxyPool::SetAside& proxy = setAside[reported];
            err << texts::kProxySetAside << utf8(proxy.address.shown()) << texts::kSetAsideBecause
                << setAsideReason(proxy.reason) << '\n';
        }
    }

    static std::string progressLine(int rows, const PassPrinter& printer,
                                    std::chrono::steady_clock::duration elapsed)
    {
        const int succeeded = printer.succeeded();
        const int failed = printer.failed();
        const int done = succeeded + failed + printer.notChecked();
        const double seconds = std::chrono::duration<double>(elapsed).count();
        const double rate = seconds > 0 ? done / seconds : 0.0;
        const int percent = submit::progressPercent(done, rows);
        char line[160];
        if (rate > 0 && done < rows) {
            std::snprintf(line, sizeof line, "%d/%d %3d%%  %s %d  %s %d  %.1f req/s  ETA %.0f s   ", done,
                          rows, percent, utf8(msg::kMarkSuccess).c_str(), succeeded,
                          utf8(msg::kMarkFailure).c_str(), failed, rate, (rows - done) / rate);
        } else {
            std::snprintf(line, sizeof line, "%d/%d %3d%%  %s %d  %s %d  %.1f req/s   ", done, rows, percent,
                          utf8(msg::kMarkSuccess).c_str(), succeeded, utf8(msg::kMarkFailure).c_str(), failed,
                          rate);
        }
        return line;
    }

    // One line of figures for a pass that has ended and whose workers are joined, so that a
    // benchmark reads the process between passes without racing the next one.
    static void printPassStats(std::ostream& err, int pass, const base::ListStore& list,
                               const PassPrinter& printer, std::chrono::steady_clock::duration elapsed)
    {
        const ProcessUsage usage = readProcessUsage();
        char line[320];
        std::snprintf(line, sizeof line,
                      "%s%d%smarked=%d/%d succeeded=%d failed=%d retries=%d seconds=%.3f rss_kb=%ld "
                      "peak_kb=%ld threads=%d fds=%d\n",
                      std::string(texts::kPassSummary).c_str(), pass, std::string(texts::kPassStats).c_str(),
                      markedRows(list), list.rowCount(), printer.succeeded(), printer.failed(),
                      printer.retries(), std::chrono::duration<double>(elapsed).count(), usage.residentKiB,
                      usage.peakResidentKiB, usage.threads, usage.openFiles);
        err << line << std::flush;
    }

    bool interactive_;
    CLI::App* command_ = nullptr;
    std::vector<std::string> sites_;
    std::string sitesFile_;
    std::string templates_;
    int threads_ = 50;
    int passes_ = 1;
    int timeoutSeconds_ = 0;
    std::string proxy_;
    std::string proxies_;
    std::string save_;
    bool onlySuccess_ = false;
    std::string json_;
    bool passStats_ = false;
    std::string database_;
    bool noHistory_ = false;
    int perHost_ = 0;
    CLI::Option* shardOption_ = nullptr;
    std::string shardText_;
    submit::CheckOptions checks_;
};

} // namespace

std::unique_ptr<Command> addSubmitCommand(CLI::App& app, bool interactive)
{
    return std::make_unique<SubmitCommand>(app, interactive);
}

} // namespace tavrin::cli
