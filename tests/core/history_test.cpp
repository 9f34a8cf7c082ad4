// The history: what is recorded comes back as the health of each template; files that are not a
// usable history are never written; two writers share one file; a writer killed in the middle,
// or a disk that fills, leaves a database SQLite still opens, holding whole batches.
#include "base/utf8_path.h"
#include "history/history_recorder.h"
#include "history/history_store.h"

#include "support/forked_child.h"
#include "support/private_mounts.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace tavrin::history {
namespace {

using testing_support::ForkedChild;
using testing_support::TempDir;

CheckRecord checkOf(const std::string& templateText, bool success, int test = 0, std::int64_t ms = 10,
                    Seconds at = 1000)
{
    CheckRecord check;
    check.templateText = templateText;
    check.url = templateText + "/filled";
    check.success = success;
    check.test = success ? 0 : test;
    check.status = success ? 200 : 404;
    check.milliseconds = ms;
    check.attempts = 1;
    check.at = at;
    return check;
}

RunInfo runFor(const std::string& site, Seconds started = 1000)
{
    RunInfo run;
    run.started = started;
    run.siteHost = site;
    run.frontEnd = "cli";
    run.threads = 4;
    run.rows = 3;
    return run;
}

// One value of a query run on a connection of the test's own.
std::string queryOne(const std::filesystem::path& path, const char* sql)
{
    sqlite3* db = nullptr;
    std::string value = "(cannot open)";
    if (sqlite3_open_v2(base::utf8FromPath(path).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        value = "(no row)";
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(statement, 0);
            value = text ? reinterpret_cast<const char*>(text) : "(null)";
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return value;
}

// Folds the write-ahead log the store leaves behind into the database file and removes it, as
// any SQLite program closing the file last does, so that the file alone is the database.
void foldLog(const std::filesystem::path& path)
{
    sqlite3* db = nullptr;
    sqlite3_open(base::utf8FromPath(path).c_str(), &db);
    sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

std::unique_ptr<HistoryStore> openToRecord(const std::filesystem::path& path)
{
    std::string error;
    auto store = HistoryStore::open(path, OpenMode::Record, error);
    EXPECT_TRUE(store) << error;
    return store;
}

// Records one run of `site` with the marks given per template.
std::int64_t recordRun(HistoryStore& store, const std::string& site,
                       const std::vector<std::pair<std::string, bool>>& marks, Seconds at)
{
    std::string error;
    const std::optional<std::int64_t> run = store.beginRun(runFor(site, at), error);
    EXPECT_TRUE(run) << error;
    std::vector<CheckRecord> checks;
    checks.reserve(marks.size());
    for (const auto& [templateText, success] : marks)
        checks.push_back(checkOf(templateText, success, 2, 10, at));
    EXPECT_TRUE(store.record(*run, checks, at + 5, error)) << error;
    return *run;
}

TEST(HistoryStore, GivesEachTemplatesHealthWorstFirst)
{
    TempDir dir;
    const auto path = dir / "history.sqlite";
    auto store = openToRecord(path);
    ASSERT_TRUE(store);
    // "a" always works, "b" stopped working, "c" never worked, "d" failed once and came back.
    recordRun(*store, "mine.example", {{"a", true}, {"b", true}, {"c", false}, {"d", false}}, 1000);
    recordRun(*store, "mine.example", {{"a", true}, {"b", false}, {"c", false}, {"d", true}}, 2000);
    const std::int64_t third =
        recordRun(*store, "mine.example", {{"a", true}, {"b", false}, {"c", false}, {"d", true}}, 3000);
    // Another site's run counts only without --site.
    recordRun(*store, "other.example", {{"a", false}, {"c", true}}, 4000);

    std::string error;
    const auto health = store->templateHealth({.siteHost = "mine.example", .lastRuns = std::nullopt}, error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(health.size(), 4u);
    const struct
    {
        std::string templateText;
        int checks, successes, failuresInARow, failedRunsInARow;
        std::optional<Seconds> lastSuccess;
    } expected[] = {
        {"c", 3, 0, 3, 3, std::nullopt},
        {"b", 3, 1, 2, 2, 1000},
        {"d", 3, 2, 0, 0, 3000},
        {"a", 3, 3, 0, 0, 3000},
    };
    for (std::size_t at = 0; at < health.size(); ++at) {
        SCOPED_TRACE(expected[at].templateText);
        EXPECT_EQ(health[at].templateText, expected[at].templateText);
        EXPECT_EQ(health[at].checks, expected[at].checks);
        EXPECT_EQ(health[at].successes, expected[at].successes);
        EXPECT_EQ(health[at].failuresInARow, expected[at].failuresInARow);
        EXPECT_EQ(health[at].failedRunsInARow, expected[at].failedRunsInARow);
        EXPECT_EQ(health[at].lastSuccess, expected[at].lastSuccess);
    }

    // The last two runs of the site only: "b" and "c" failed both.
    const auto lastTwo = store->templateHealth({.siteHost = "mine.example", .lastRuns = 2}, error);
    ASSERT_EQ(lastTwo.size(), 4u);
    EXPECT_EQ(lastTwo[0].checks, 2);
    // Every site: "a" failed once for the other site (3 of 4), "c" succeeded there (1 of 4).
    const auto everySite = store->templateHealth({}, error);
    ASSERT_EQ(everySite.size(), 4u);
    EXPECT_EQ(everySite.back().templateText, "a");
    EXPECT_EQ(everySite.back().checks, 4);
    EXPECT_EQ(everySite.front().templateText, "c");
    EXPECT_EQ(everySite.front().successes, 1);

    EXPECT_EQ((store->tallies("mine.example", error).at("b")), (std::pair{3, 1}));
    EXPECT_EQ(store->newlyFailed(third, error), std::vector<text::Text>{});
    EXPECT_EQ(store->newlyFailed(third - 1, error), std::vector<text::Text>{"b"});
    EXPECT_EQ(store->verdictCounts(third, error), (std::map<int, int>{{0, 2}, {2, 2}}));
    const std::optional<RunSummary> summary = store->runSummary(third, error);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->checks, 4);
    EXPECT_EQ(summary->successes, 2);
    EXPECT_EQ(summary->finished, 3005);
    EXPECT_EQ(store->runsUpTo(third, 30, error).size(), 3u);
    EXPECT_EQ(error, "");

    // A check of a run that does not exist is refused: foreign keys are enforced.
    EXPECT_FALSE(store->record(9999, {checkOf("a", true)}, 5000, error));
    EXPECT_NE(error, "");
    store.reset();
    EXPECT_EQ(queryOne(path, "PRAGMA journal_mode"), "wal");
    EXPECT_EQ(queryOne(path, "PRAGMA user_version"), std::to_string(kSchemaVersion));
    EXPECT_EQ(queryOne(path, "SELECT COUNT(*) FROM checks"), "14");
}

TEST(HistoryStore, AFileItCannotUseIsNeverWritten)
{
    TempDir dir;
    // A real history, damaged in the middle.
    const auto damaged = dir / "damaged.sqlite";
    {
        auto store = openToRecord(damaged);
        ASSERT_TRUE(store);
        std::vector<std::pair<std::string, bool>> marks;
        marks.reserve(2000);
        for (int at = 0; at < 2000; ++at)
            marks.emplace_back("http://template-" + std::to_string(at) + ".example/{$url}", at % 3 == 0);
        recordRun(*store, "mine.example", marks, 1000);
    }
    foldLog(damaged);
    {
        std::fstream file(damaged, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(std::streamoff{8} * 4096);
        const std::string garbage(4096, '\xA5');
        file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    const auto newer = dir / "newer.sqlite";
    {
        auto store = openToRecord(newer);
    }
    {
        sqlite3* db = nullptr;
        sqlite3_open(base::utf8FromPath(newer).c_str(), &db);
        sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    foldLog(newer);
    const auto foreign = dir / "foreign.sqlite";
    {
        sqlite3* db = nullptr;
        sqlite3_open(base::utf8FromPath(foreign).c_str(), &db);
        sqlite3_exec(db, "CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('mine')", nullptr,
                     nullptr, nullptr);
        sqlite3_close(db);
    }
    const auto notDatabase =
        dir.write("notes.sqlite", std::string("my notes, not a database\n") + std::string(5000, 'x'));
    const auto underAFile = dir.write("a-file", "x") / "history.sqlite";

    const struct
    {
        const char* name;
        std::filesystem::path path;
    } cases[] = {
        {"damaged", damaged},
        {"newer version", newer},
        {"another program's database", foreign},
        {"not a database", notDatabase},
        {"folder cannot be made", underAFile},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = TempDir::read(c.path);
        std::string error;
        EXPECT_FALSE(HistoryStore::open(c.path, OpenMode::Record, error));
        EXPECT_NE(error, "");
        EXPECT_EQ(TempDir::read(c.path), before);
        EXPECT_FALSE(std::filesystem::exists(c.path.string() + "-wal"));
    }
}

TEST(HistoryStore, TwoWritersOnOneFileBothRecordEverything)
{
    TempDir dir;
    const auto path = dir / "history.sqlite";
    // Made first, so that both writers find the schema in place.
    {
        auto store = openToRecord(path);
    }
    constexpr int kBatches = 40;
    constexpr int kRows = 25;
    const auto writer = [&](const std::string& site) {
        std::string error;
        auto store = HistoryStore::open(path, OpenMode::Record, error);
        ASSERT_TRUE(store) << error;
        const auto run = store->beginRun(runFor(site), error);
        ASSERT_TRUE(run) << error;
        for (int batch = 0; batch < kBatches; ++batch) {
            std::vector<CheckRecord> checks;
            checks.reserve(kRows);
            for (int row = 0; row < kRows; ++row)
                checks.push_back(checkOf(site + "/" + std::to_string(row), row % 2 == 0));
            ASSERT_TRUE(store->record(*run, checks, 2000, error)) << error;
        }
    };
    std::thread first(writer, "one.example");
    std::thread second(writer, "two.example");
    first.join();
    second.join();
    EXPECT_EQ(queryOne(path, "SELECT COUNT(*) FROM checks"), std::to_string(2 * kBatches * kRows));
    EXPECT_EQ(queryOne(path, "SELECT COUNT(*) FROM runs"), "2");
}

TEST(HistoryStore, AWriterKilledMidwayLeavesWholeBatches)
{
    if (!ForkedChild::kAvailable)
        GTEST_SKIP() << testing_support::kNoForkReason;
    TempDir dir;
    const auto path = dir / "history.sqlite";
    constexpr int kRows = 100;
    for (const int delayMs : {0, 40, 150}) {
        SCOPED_TRACE(delayMs);
        std::filesystem::remove(path);
        ForkedChild child([&] {
            std::string error;
            auto store = HistoryStore::open(path, OpenMode::Record, error);
            const auto run = store ? store->beginRun(runFor("mine.example"), error) : std::nullopt;
            for (int batch = 0; run; ++batch) {
                std::vector<CheckRecord> checks;
                checks.reserve(kRows);
                for (int row = 0; row < kRows; ++row)
                    checks.push_back(checkOf("t" + std::to_string(batch * kRows + row), true));
                (void)store->record(*run, checks, 2000, error);
            }
            return error;
        });
        ASSERT_TRUE(child.started());
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        child.kill();
        child.wait();
        std::string error;
        auto store = HistoryStore::open(path, OpenMode::Record, error);
        if (!std::filesystem::exists(path))
            continue; // killed before the file was made
        ASSERT_TRUE(store) << error;
        store.reset();
        EXPECT_EQ(queryOne(path, "PRAGMA integrity_check"), "ok");
        const int checks = std::stoi(queryOne(path, "SELECT COUNT(*) FROM checks"));
        EXPECT_EQ(checks % kRows, 0) << checks;
    }
}

// --- the recorder -----------------------------------------------------------------------------

submit::SubmitRow rowOf(const std::string& templateText)
{
    submit::SubmitRow row;
    row.url = templateText + "/mine.example";
    row.templateText = templateText;
    return row;
}

submit::RowResult resultOf(bool success)
{
    submit::RowResult result;
    result.mark = success ? library::Mark::Success : library::Mark::Failure;
    result.decidedBy = success ? submit::ResponseTest::Passed : submit::ResponseTest::NotFound;
    result.httpStatus = success ? 200 : 404;
    result.milliseconds = 12;
    return result;
}

void runPass(submit::PassListener& listener, const std::string& site, int rows, bool success = true)
{
    listener.passStarted({.rows = rows, .threads = 2, .siteHost = site});
    for (int row = 0; row < rows; ++row)
        listener.rowChecked(rowOf("t" + std::to_string(row)), resultOf(success));
    listener.passCompleted();
}

template <typename Condition> bool eventually(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(HistoryRecorder, RecordsEveryPassAndKnowsWhatCameBefore)
{
    TempDir dir;
    const auto path = dir / "history.sqlite";
    HistoryRecorder recorder(path, "window", [](const std::string& problem) { ADD_FAILURE() << problem; });
    recorder.trackEarlierTallies();
    runPass(recorder, "mine.example", 1234);
    recorder.flush();
    EXPECT_EQ(queryOne(path, "SELECT COUNT(*) FROM checks"), "1234");
    EXPECT_EQ(recorder.lastRun(), 1);
    EXPECT_EQ(recorder.earlierTally(rowOf("t1")), std::nullopt) << "nothing came before the first pass";

    // The second pass knows the first; a stopped pass is written without being asked.
    recorder.passStarted({.rows = 10, .threads = 2, .siteHost = "mine.example"});
    EXPECT_TRUE(eventually([&] { return recorder.earlierTally(rowOf("t1")).has_value(); }));
    EXPECT_EQ(recorder.earlierTally(rowOf("t1")), (std::pair{1, 1}));
    recorder.rowChecked(rowOf("t1"), resultOf(false));
    recorder.passStopped();
    EXPECT_TRUE(eventually([&] { return queryOne(path, "SELECT COUNT(*) FROM checks") == "1235"; }));
    // The next pass for the site knows the last one at once, without waiting for the writer.
    recorder.passStarted({.rows = 10, .threads = 2, .siteHost = "mine.example"});
    EXPECT_EQ(recorder.earlierTally(rowOf("t1")), (std::pair{2, 1}));
    EXPECT_EQ(recorder.earlierTally(rowOf("t2")), (std::pair{1, 1}));

    // A row without a template is recorded as its URL with the site put back.
    submit::SubmitRow typed;
    typed.url = "http://typed.example/?q=mine.example";
    recorder.rowChecked(typed, resultOf(true));
    recorder.flush();
    EXPECT_EQ(queryOne(path, "SELECT text FROM templates ORDER BY id DESC LIMIT 1"),
              "http://typed.example/?q={$url}");
}

TEST(HistoryRecorder, ListenersOfSeveralEnginesRecordRunsOfTheirOwn)
{
    TempDir dir;
    const auto path = dir / "history.sqlite";
    HistoryRecorder recorder(
        path, "cli", [](const std::string& problem) { ADD_FAILURE() << problem; }, "1/3");
    const auto other = recorder.makeListener();
    std::thread first([&] { runPass(recorder, "one.example", 700); });
    std::thread second([&] { runPass(*other, "two.example", 900, false); });
    first.join();
    second.join();
    recorder.flush();
    EXPECT_EQ(queryOne(path,
                       "SELECT group_concat(line, ' ') FROM (SELECT CAST(r.site AS TEXT) || ':' || r.shard "
                       "|| ':' || (SELECT COUNT(*) || '/' || SUM(c.mark) FROM checks c WHERE c.run = r.id) "
                       "AS line FROM runs r ORDER BY line)"),
              "one.example:1/3:700/700 two.example:1/3:900/0");
}

TEST(HistoryRecorder, AHistoryItCannotUseIsReportedOnceAndThePassGoesOn)
{
    TempDir dir;
    const auto notDatabase = dir.write("history.sqlite", "not a database, but the user's file");
    std::vector<std::string> problems;
    std::mutex mutex;
    {
        HistoryRecorder recorder(notDatabase, "cli", [&](const std::string& problem) {
            const std::lock_guard lock(mutex);
            problems.push_back(problem);
        });
        runPass(recorder, "mine.example", 2000);
        recorder.flush();
        runPass(recorder, "mine.example", 10);
        EXPECT_EQ(recorder.store(), nullptr);
    }
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("history.sqlite"), std::string::npos) << problems[0];
    EXPECT_EQ(TempDir::read(notDatabase), "not a database, but the user's file");
}

TEST(HistoryRecorder, ADiskThatFillsStopsRecordingAndLeavesAReadableDatabase)
{
    TempDir dir;
    const auto mountPoint = dir / "small";
    std::filesystem::create_directory(mountPoint);
    const auto path = mountPoint / "history.sqlite";
    // The small file system exists in the child only, so the child looks at the result.
    ForkedChild child([&] {
        if (const std::string why = testing_support::mountPrivateTmpfs(mountPoint, "512k"); !why.empty())
            return "skip\n" + why;
        std::string problem;
        int passes = 0;
        {
            HistoryRecorder recorder(path, "cli", [&](const std::string& said) { problem = said; });
            // Far more than 512 KiB of checks; every pass goes on to its end.
            for (; passes < 40; ++passes) {
                runPass(recorder, "mine.example", 500);
                recorder.flush();
            }
        }
        return "ran\n" + std::to_string(passes) + "\n" + problem + "\n" +
               queryOne(path, "PRAGMA integrity_check");
    });
    const ForkedChild::Ending ending = child.wait();
    ASSERT_EQ(ending.exitCode, 0) << ending.report;
    if (ending.report.starts_with("skip\n"))
        GTEST_SKIP() << ending.report.substr(5);
    EXPECT_NE(ending.report.find("ran\n40\n"), std::string::npos) << ending.report;
    EXPECT_NE(ending.report.find("full"), std::string::npos) << ending.report;
    EXPECT_TRUE(ending.report.ends_with("\nok")) << ending.report;
}

} // namespace
} // namespace tavrin::history
