// The history of every checked row, in an SQLite database: which templates still work for a
// site, run after run.
//
// One file, by default $XDG_DATA_HOME/tavrin/history.sqlite, in WAL mode (readers never wait
// for the writer, and a process killed in the middle of a write leaves the last committed state),
// with foreign keys on and its schema version in `user_version` (migrated forward on opening; a
// file of a newer version is left alone). A file that is not an SQLite database, or is damaged,
// is never written: opening fails with a message instead. Other processes may use the same file
// at the same time; a writer waits for another's lock up to a busy timeout.
//
// Threads: every method may be called from any thread; each runs under the store's lock.
#pragma once

#include "history/sqlite_handles.h"
#include "text/gbk_text.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace tavrin::history {

// Seconds since 1970, as the database keeps times.
using Seconds = std::int64_t;

[[nodiscard]] Seconds now();

// $XDG_DATA_HOME/tavrin/history.sqlite, or ~/.local/share/tavrin/history.sqlite.
[[nodiscard]] std::filesystem::path defaultDatabasePath();

inline constexpr int kSchemaVersion = 1;

// A run: one pass over the templates for one site.
struct RunInfo
{
    Seconds started = 0;
    text::Text siteHost;
    // "window" or "cli".
    std::string frontEnd;
    int threads = 0;
    int rows = 0;
    // "K/N" when the run was one shard of a split run; empty otherwise.
    std::string shard;
};

// One checked row.
struct CheckRecord
{
    text::Text templateText;
    // Empty when it is the template with the run's site put in.
    text::Text url;
    bool success = false;
    // The deciding test, as testCode() numbers it.
    int test = 0;
    int status = 0; // 0: no response
    std::int64_t milliseconds = 0;
    int attempts = 0;
    text::Text finalUrl;
    std::int64_t bytes = 0;
    std::string titleUtf8;
    bool mentions = false;
    bool links = false;
    Seconds at = 0;
};

// What the history says of one template.
struct TemplateHealth
{
    text::Text templateText;
    int checks = 0;
    int successes = 0;
    std::optional<Seconds> lastSuccess;
    // Failures since its last success (all of them when it never succeeded), counting back from
    // its latest check.
    int failuresInARow = 0;
    // Runs in which it failed every time it was checked, counting back from its latest run
    // until one in which it succeeded.
    int failedRunsInARow = 0;

    [[nodiscard]] double successRate() const { return checks > 0 ? double(successes) / checks : 0.0; }
};

struct RunSummary
{
    std::int64_t id = 0;
    Seconds started = 0;
    std::optional<Seconds> finished;
    text::Text siteHost;
    std::string frontEnd;
    int threads = 0;
    int rows = 0;
    std::string shard;
    int checks = 0;
    int successes = 0;
};

// Which checks count: those of one site, and of its (or all) last N runs.
struct HealthFilter
{
    std::optional<text::Text> siteHost;
    std::optional<int> lastRuns;
};

enum class OpenMode
{
    // To record: created (with its folder) when missing; an existing file is checked whole
    // first, so that a damaged one is never written to. The check is skipped when the files are
    // exactly as a store of this program left them (their identity, size and time of change,
    // noted beside them in FILE-checked): a large history then opens at once.
    Record,
    // To read what was recorded: the file must exist; it is not checked whole, so that a large
    // history answers at once.
    Read,
};

class HistoryStore
{
public:
    // Opens the database at `path`. Nothing and a one-line reason in `error` when it cannot be
    // used; the file is then left as it was.
    [[nodiscard]] static std::unique_ptr<HistoryStore> open(const std::filesystem::path& path, OpenMode mode,
                                                            std::string& error);
    // Closes the database; a store that recorded notes how it left the files (see open()).
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

    // --- recording (one transaction each) ---------------------------------------------------
    [[nodiscard]] std::optional<std::int64_t> beginRun(const RunInfo& run, std::string& error);
    // Adds the checks to a run and sets its finishing time.
    [[nodiscard]] bool record(std::int64_t run, const std::vector<CheckRecord>& checks, Seconds finished,
                              std::string& error);

    // --- reading -----------------------------------------------------------------------------
    // Every template checked (under the filter), worst first: lowest success rate, then most
    // failures in a row, then the text.
    [[nodiscard]] std::vector<TemplateHealth> templateHealth(const HealthFilter& filter, std::string& error);
    // Checks and successes of every template for a site, by template text.
    [[nodiscard]] std::unordered_map<text::Text, std::pair<int, int>> tallies(const text::Text& siteHost,
                                                                              std::string& error);
    [[nodiscard]] std::optional<std::int64_t> lastRunId(std::string& error);
    [[nodiscard]] std::optional<RunSummary> runSummary(std::int64_t run, std::string& error);
    // The last `count` runs of the site of `run` up to and including it, oldest first.
    [[nodiscard]] std::vector<RunSummary> runsUpTo(std::int64_t run, int count, std::string& error);
    // Checks of a run by deciding test (testCode numbers).
    [[nodiscard]] std::map<int, int> verdictCounts(std::int64_t run, std::string& error);
    // The milliseconds of every check of a run.
    [[nodiscard]] std::vector<std::int64_t> responseTimes(std::int64_t run, std::string& error);
    // Templates that failed in `run` and succeeded in the run of the same site before it.
    [[nodiscard]] std::vector<text::Text> newlyFailed(std::int64_t run, std::string& error);

private:
    HistoryStore(std::filesystem::path path, ConnectionPtr connection);
    [[nodiscard]] bool migrate(OpenMode mode, std::string& error);
    // True when the files are exactly as a store of this program left them after recording
    // without a failure, so that the whole check may be skipped.
    [[nodiscard]] bool leftAsVerified() const;
    // The id of a template, added when new; a new one's text is added to `learned`.
    [[nodiscard]] std::optional<std::int64_t> templateId(const text::Text& text, Seconds firstSeen,
                                                         std::vector<text::Text>& learned);
    [[nodiscard]] std::set<std::int64_t> runsOf(const HealthFilter& filter);
    [[nodiscard]] bool execute(std::string_view sql);
    [[nodiscard]] std::string failure(std::string_view what) const;

    std::mutex mutex_;
    std::filesystem::path path_;
    ConnectionPtr connection_;
    // Template ids by text, so that recording a known template costs no query.
    std::unordered_map<text::Text, std::int64_t> templateIds_;
    bool templateIdsRead_ = false;
    // The files' identity, size and times when opened; whether this store records; whether every
    // write it tried succeeded (a store that failed one leaves the next a whole check to do).
    std::string stampAtOpen_;
    bool recording_ = false;
    bool trustworthy_ = true;
    // Prepared once: recording uses them for every check.
    Statement insertCheck_;
    Statement findTemplate_;
    Statement insertTemplate_;
};

} // namespace tavrin::history
