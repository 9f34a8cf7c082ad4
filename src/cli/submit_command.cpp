#include "cli/submit_command.h"

#include "base/file_io.h"
#include "cli/cli.h"
#include "cli/cli_texts.h"
#include "cli/interrupt.h"
#include "cli/process_usage.h"
#include "library/template_file.h"
#include "library/url_library.h"
#include "net/network_init.h"
#include "platform/headless/memory_controls.h"
#include "platform/headless/scripted_desktop.h"
#include "submit/http_row_check.h"
#include "submit/pass_plan.h"
#include "submit/submission_engine.h"
#include "text/encoding.h"
#include "text/messages.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>

namespace tavrin::cli {

namespace {

// How often the end of a pass and Ctrl-C are looked for, and how often the live line changes.
constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr auto kProgressInterval = std::chrono::milliseconds(200);
constexpr auto kPlainStatusInterval = std::chrono::seconds(2);
constexpr int kExitInterrupted = 130;

std::filesystem::path programDirectory()
{
    std::error_code ignored;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", ignored);
    return executable.empty() ? std::filesystem::current_path(ignored) : executable.parent_path();
}

std::string utf8(const text::Text& gbk)
{
    return text::gbkToUtf8(gbk);
}

// The report's line for one finished row.
std::string reportLine(int pass, const text::Text& url, const submit::RowOutcome& outcome)
{
    const submit::RowEvidence& evidence = outcome.evidence;
    nlohmann::ordered_json line;
    line["pass"] = pass;
    line["url"] = utf8(url);
    line["mark"] = utf8(outcome.mark);
    line["status"] = outcome.httpStatus > 0 ? nlohmann::ordered_json(outcome.httpStatus) : nullptr;
    line["test"] = outcome.reason;
    line["ms"] = outcome.milliseconds;
    line["final_url"] = evidence.finalUrl.empty() ? nlohmann::ordered_json(nullptr)
                                                  : nlohmann::ordered_json(utf8(evidence.finalUrl));
    line["attempts"] = evidence.attempts;
    line["bytes"] = evidence.bytes;
    line["title"] = evidence.titleUtf8;
    line["mentions"] = evidence.mentionsSite;
    line["links"] = evidence.linksToSite;
    // A title cut from a page is UTF-8 as far as it goes, but a report must never fail over a
    // stray byte.
    return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

// Rows of the list whose mark is a verdict (√ or ×) rather than pending or in progress.
int markedRows(const base::ListStore& list)
{
    int marked = 0;
    for (const text::Text& mark : list.column(library::kMarkColumn))
        marked += mark == msg::kMarkSuccess || mark == msg::kMarkFailure ? 1 : 0;
    return marked;
}

// Counts of the running pass, updated by the workers.
struct PassCounts
{
    std::atomic<int> succeeded{0};
    std::atomic<int> failed{0};
    // Requests made again after a transient answer.
    std::atomic<int> retries{0};
    void reset()
    {
        succeeded = 0;
        failed = 0;
        retries = 0;
    }
};

class SubmitCommand final : public Command
{
public:
    SubmitCommand(CLI::App& app, bool interactive)
        : interactive_(interactive)
    {
        command_ = app.add_subcommand("submit", std::string(texts::kSubmitDescription));
        command_->add_option("--site", site_, std::string(texts::kSiteHelp))->required();
        command_->add_option("--templates", templates_, std::string(texts::kTemplatesHelp));
        command_->add_option("--threads", threads_, std::string(texts::kThreadsHelp))
            ->check(CLI::Range(submit::kMinThreads, submit::kMaxThreads));
        command_->add_option("--loop", passes_, std::string(texts::kLoopHelp))->check(CLI::PositiveNumber);
        command_->add_option("--timeout", timeoutSeconds_, std::string(texts::kTimeoutHelp))
            ->check(CLI::NonNegativeNumber);
        command_->add_option("--proxy", proxy_, std::string(texts::kProxyHelp));
        command_->add_option("--save", save_, std::string(texts::kSaveHelp));
        command_->add_flag("--only-success", onlySuccess_, std::string(texts::kOnlySuccessHelp));
        command_->add_option("--json", json_, std::string(texts::kJsonHelp));
        command_->add_flag("--pass-stats", passStats_, std::string(texts::kPassStatsHelp));
        command_->add_flag("--require-mention", checks_.requireMention,
                           std::string(texts::kRequireMentionHelp));
        command_->add_flag("--require-link", checks_.requireLink, std::string(texts::kRequireLinkHelp));
        command_->add_flag("--baseline", checks_.baseline, std::string(texts::kBaselineHelp));
    }

    [[nodiscard]] bool chosen() const override { return command_->parsed(); }

    int execute(std::ostream& out, std::ostream& err) override
    {
        net::initNetwork();
        clearInterrupt();
        const std::filesystem::path templates =
            templates_.empty() ? programDirectory() / "url.txt" : std::filesystem::path(templates_);
        if (const std::optional<std::string_view> refused = refusedTemplates(templates)) {
            err << texts::kCannotReadTemplates << templates.string() << *refused << '\n';
            return kExitBadArguments;
        }

        // The window's controls, in memory.
        base::ListStore list;
        platform::MemoryTextControl siteAddress(text::utf8ToGbk(site_));
        platform::MemoryTextControl addBox;
        platform::MemoryTextControl statusLine(msg::kStatusInitial);
        platform::MemoryCheckControl onlySuccess(onlySuccess_);
        platform::MemoryTextControl submitButton(msg::caption::kStartSubmit);
        platform::MemoryTextControl threadCountBox(text::decimal(threads_));
        platform::MemoryCheckControl loopBox(passes_ > 1);
        platform::MemoryProgressControl progress;
        platform::ScriptedDialogs dialogs;
        platform::RecordingShell shell;
        ProgramState state;

        library::UrlLibrary urlLibrary({list, siteAddress, addBox, statusLine, onlySuccess, dialogs, shell},
                                       state);
        urlLibrary.loadFile(templates);
        urlLibrary.waitUntilLoaded();
        out << utf8(statusLine.text()) << '\n';

        submit::CheckOptions checks = checks_;
        checks.timeLimitSeconds = timeoutSeconds_ > 0 ? timeoutSeconds_ : net::kDefaultTimeLimitSeconds;
        checks.proxy = text::utf8ToGbk(proxy_);
        submit::SubmissionEngine engine({list, submitButton, threadCountBox, loopBox, statusLine, progress},
                                        state, submit::httpRowCheck(std::move(checks)));
        engine.setPrepareRows([&urlLibrary] { return urlLibrary.syncSiteHost(); });
        PassCounts counts;
        // The report goes to disk row by row: a looping run over a large list would otherwise
        // hold every row of every pass until the end. It is put in place when the run ends.
        std::optional<base::AtomicFileWriter> report;
        if (!json_.empty())
            report.emplace(json_);
        std::mutex reportMutex;
        std::atomic<int> currentPass{0};
        engine.setRowObserver([&](const submit::SubmitRow& row, const submit::RowOutcome& outcome) {
            (outcome.mark == msg::kMarkSuccess ? counts.succeeded : counts.failed).fetch_add(1);
            counts.retries.fetch_add(std::max(outcome.evidence.attempts - 1, 0));
            if (!report)
                return;
            const std::string line = reportLine(currentPass.load(), row.url, outcome);
            std::lock_guard lock(reportMutex);
            report->append(line);
        });

        bool interrupted = false;
        for (int pass = 1; pass <= passes_ && !interrupted; ++pass) {
            currentPass = pass;
            counts.reset();
            const auto passStart = std::chrono::steady_clock::now();
            engine.toggleSubmit();
            interrupted = watchPass(out, state, statusLine, list.rowCount(), counts, engine);
            engine.waitForPassWorkers();
            if (passStats_)
                printPassStats(err, pass, list, counts, std::chrono::steady_clock::now() - passStart);
            if (interactive_)
                out << '\n';
            if (!interrupted) {
                out << utf8(statusLine.text()) << '\n';
                out << texts::kPassSummary << pass << ": " << utf8(msg::kMarkSuccess) << ' '
                    << counts.succeeded << ", " << utf8(msg::kMarkFailure) << ' ' << counts.failed << '\n';
                // Closing the completed pass, as the loop timer does before the next one.
                engine.toggleSubmit();
            } else {
                out << utf8(statusLine.text()) << '\n';
            }
        }

        int code = interrupted ? kExitInterrupted : kExitOk;
        if (!save_.empty() && !saveTemplates(urlLibrary, dialogs, statusLine, err))
            code = interrupted ? code : kExitFailure;
        if (report) {
            std::lock_guard lock(reportMutex);
            const std::string failure = report->commit();
            if (!failure.empty()) {
                err << texts::kCannotWriteReport << json_ << " (" << failure << ")\n";
                code = interrupted ? code : kExitFailure;
            }
        }
        return code;
    }

private:
    // Why the template file cannot be loaded (the words to print after its name, perhaps none),
    // or nothing when it can. A file the window would refuse is refused here too, before any
    // pass starts; the bytes read for the look are freed before the load reads the file again.
    static std::optional<std::string_view> refusedTemplates(const std::filesystem::path& templates)
    {
        const base::ReadResult probe = base::readWholeFile(templates);
        switch (probe.status) {
        case base::ReadResult::Status::Ok:
            break;
        case base::ReadResult::Status::Unreadable:
            return "";
        case base::ReadResult::Status::TooLarge:
            return texts::kOver256MB;
        }
        switch (library::checkTemplateText(probe.bytes)) {
        case library::TemplateTextCheck::Ok:
            return std::nullopt;
        case library::TemplateTextCheck::NotText:
            return texts::kNotText;
        case library::TemplateTextCheck::TooManyEntries:
            return texts::kTooManyTemplates;
        }
        return "";
    }

    // Waits for the running pass to end, showing progress; answers an interrupt like the stop
    // button. Returns true when interrupted.
    bool watchPass(std::ostream& out, const ProgramState& state, const platform::TextControl& statusLine,
                   int rows, const PassCounts& counts, submit::SubmissionEngine& engine) const
    {
        const auto start = std::chrono::steady_clock::now();
        auto lastPlain = start;
        auto lastProgress = start;
        text::Text lastStatus;
        // Completion is declared when the last row has started; the pass is over for the report
        // once the last fetch has finished too.
        while (state.passEnded.load() == 0 || engine.passWorkersRunning()) {
            if (interruptRequested()) {
                engine.toggleSubmit();
                return true;
            }
            std::this_thread::sleep_for(kPollInterval);
            const auto now = std::chrono::steady_clock::now();
            if (interactive_) {
                if (now - lastProgress >= kProgressInterval) {
                    out << '\r' << progressLine(rows, counts, now - start) << std::flush;
                    lastProgress = now;
                }
            } else if (now - lastPlain >= kPlainStatusInterval) {
                const text::Text status = statusLine.text();
                if (status != lastStatus)
                    out << utf8(status) << '\n';
                lastStatus = status;
                lastPlain = now;
            }
        }
        if (interactive_)
            out << '\r' << progressLine(rows, counts, std::chrono::steady_clock::now() - start) << std::flush;
        return false;
    }

    static std::string progressLine(int rows, const PassCounts& counts,
                                    std::chrono::steady_clock::duration elapsed)
    {
        const int succeeded = counts.succeeded.load();
        const int failed = counts.failed.load();
        const int done = succeeded + failed;
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

    bool saveTemplates(library::UrlLibrary& urlLibrary, platform::ScriptedDialogs& dialogs,
                       const platform::TextControl& statusLine, std::ostream& err) const
    {
        const text::Text before = statusLine.text();
        dialogs.queueFileName(save_);
        urlLibrary.onSaveClick();
        const text::Text after = statusLine.text();
        // The library stays silent on success and reports a failure in the status line.
        if (after != before && after.starts_with(msg::kSaveFailed)) {
            err << utf8(after) << '\n';
            return false;
        }
        return true;
    }

    // One line of figures for a pass that has ended and whose workers are joined, so that a
    // benchmark reads the process between passes without racing the next one.
    static void printPassStats(std::ostream& err, int pass, const base::ListStore& list,
                               const PassCounts& counts, std::chrono::steady_clock::duration elapsed)
    {
        const ProcessUsage usage = readProcessUsage();
        char line[320];
        std::snprintf(line, sizeof line,
                      "%s%d%smarked=%d/%d succeeded=%d failed=%d retries=%d seconds=%.3f rss_kb=%ld "
                      "peak_kb=%ld threads=%d fds=%d\n",
                      std::string(texts::kPassSummary).c_str(), pass, std::string(texts::kPassStats).c_str(),
                      markedRows(list), list.rowCount(), counts.succeeded.load(), counts.failed.load(),
                      counts.retries.load(), std::chrono::duration<double>(elapsed).count(),
                      usage.residentKiB, usage.peakResidentKiB, usage.threads, usage.openFiles);
        err << line << std::flush;
    }

    bool interactive_;
    CLI::App* command_ = nullptr;
    std::string site_;
    std::string templates_;
    int threads_ = 50;
    int passes_ = 1;
    int timeoutSeconds_ = 0;
    std::string proxy_;
    std::string save_;
    bool onlySuccess_ = false;
    std::string json_;
    bool passStats_ = false;
    submit::CheckOptions checks_;
};

} // namespace

std::unique_ptr<Command> addSubmitCommand(CLI::App& app, bool interactive)
{
    return std::make_unique<SubmitCommand>(app, interactive);
}

} // namespace tavrin::cli
