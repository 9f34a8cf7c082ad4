// tavrin-cli with a history: submit records every pass, history shows the worst templates
// first, prune drops the dead ones byte for byte, report writes one HTML file; and the bad
// cases: a file that is no history, options that do not fit.
#include "support/cli_run.h"
#include "support/local_server.h"
#include "support/scoped_data_home.h"
#include "support/temp_dir.h"
#include "text/encoding.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>

namespace tavrin::cli {
namespace {

using testing_support::CliRun;
using testing_support::linesOf;
using testing_support::LocalServer;
using testing_support::runCli;
using testing_support::TempDir;

class CliHistory : public testing::Test
{
protected:
    void SetUp() override
    {
        server.routes().Get("/ok", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("listed", "text/plain");
        });
        server.routes().Get("/gone", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("gone", "text/plain");
        });
        // Works the first time only.
        server.routes().Get("/flaky", [this](const httplib::Request&, httplib::Response& res) {
            if (flakyAnswered++ > 0)
                res.status = 404;
            res.set_content("listed", "text/plain");
        });
        server.start();
        templates = dir.write("url.txt", line("/ok") + line("/gone") + line("/flaky")).string();
    }
    void TearDown() override { server.stop(); }

    std::string line(const std::string& path) const { return server.url(path) + "?q={$url}\r\n"; }
    std::string path(const char* name) const { return (dir / name).string(); }

    // Three passes over the templates, recorded in the test's database.
    void recordThreePasses()
    {
        const CliRun result = runCli({"submit", "--site", "mine.example", "--templates", templates,
                                      "--threads", "1", "--loop", "3", "--timeout", "5", "--db", database});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        ASSERT_EQ(result.err, "");
    }

    LocalServer server;
    TempDir dir;
    std::atomic<int> flakyAnswered{0};
    std::string templates;
    std::string database = path("history.sqlite");
};

TEST_F(CliHistory, HistoryShowsTheWorstTemplatesFirst)
{
    recordThreePasses();
    const CliRun table = runCli({"history", "--db", database});
    ASSERT_EQ(table.exitCode, 0) << table.err;
    const auto lines = linesOf(table.out);
    ASSERT_EQ(lines.size(), 4u) << table.out;
    EXPECT_TRUE(lines[1].ends_with("/gone?q={$url}")) << lines[1];
    EXPECT_TRUE(lines[2].ends_with("/flaky?q={$url}")) << lines[2];
    EXPECT_TRUE(lines[3].ends_with("/ok?q={$url}")) << lines[3];
    EXPECT_NE(lines[1].find("never"), std::string::npos) << lines[1];

    const CliRun csv = runCli({"history", "--db", database, "--csv", "--site", "http://Mine.example/"});
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    const auto rows = linesOf(csv.out);
    ASSERT_EQ(rows.size(), 4u) << csv.out;
    EXPECT_EQ(rows[0],
              "template,checks,successes,success_rate,last_success,failures_in_a_row,failed_runs_in_a_row");
    EXPECT_EQ(rows[1], server.url("/gone") + "?q={$url},3,0,0.0000,,3,3");
    EXPECT_TRUE(rows[2].starts_with(server.url("/flaky") + "?q={$url},3,1,0.3333,20")) << rows[2];
    EXPECT_TRUE(rows[2].ends_with("Z,2,2")) << rows[2];
    EXPECT_TRUE(rows[3].ends_with(",0,0")) << rows[3];

    // The last run only (equals in order of their text); another site has no history.
    const auto lastRun = linesOf(runCli({"history", "--db", database, "--csv", "--runs", "1"}).out);
    ASSERT_EQ(lastRun.size(), 4u);
    EXPECT_EQ(lastRun[1], server.url("/flaky") + "?q={$url},1,0,0.0000,,1,1");
    EXPECT_EQ(lastRun[2], server.url("/gone") + "?q={$url},1,0,0.0000,,1,1");
    EXPECT_EQ(linesOf(runCli({"history", "--db", database, "--site", "other.example"}).out).size(), 1u);
}

TEST_F(CliHistory, ASiteIsFoundHoweverItsNameIsWritten)
{
    // A Chinese name, and one GBK cannot hold, are recorded in their punycode form.
    for (const char* site : {"例子.测试", "한국.example"}) {
        const CliRun result = runCli({"submit", "--site", site, "--templates", templates, "--threads", "1",
                                      "--timeout", "5", "--db", database});
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }
    const struct
    {
        const char* site;
        std::size_t lines;
    } cases[] = {
        {"http://例子。测试/", 4}, {"XN--FSQU00A.xn--0zwm56d", 4},
        {"한국.example", 4},       {"xn--3e0b707e.example", 4},
        {"예.example", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.site);
        const CliRun history = runCli({"history", "--db", database, "--site", c.site});
        EXPECT_EQ(history.exitCode, 0) << history.err;
        EXPECT_EQ(linesOf(history.out).size(), c.lines) << history.out;
    }
}

TEST_F(CliHistory, PruneDropsTemplatesThatFailedTheirLastRunsAndKeepsTheRestByteForByte)
{
    recordThreePasses();
    // A line the history never saw, and one with the marker the window strips, are kept as they are.
    const std::string marker = text::utf8ToGbk("格式如：");
    const std::string original = line("/ok") + line("/gone") + marker + line("/new") + line("/flaky");
    dir.write("url.txt", original);

    const CliRun pruned = runCli({"prune", "--templates", templates, "--failed-runs", "2", "--save",
                                  path("kept.txt"), "--db", database});
    ASSERT_EQ(pruned.exitCode, 0) << pruned.err;
    EXPECT_EQ(TempDir::read(dir / "kept.txt"), line("/ok") + marker + line("/new"));
    EXPECT_EQ(TempDir::read(templates), original) << "the template file is not written";
    EXPECT_EQ(pruned.out, "dropped 2 of 4 templates, wrote " + path("kept.txt") +
                              "\n  dropped: " + server.url("/gone") +
                              "?q={$url}  (failed its last 3 runs)\n  dropped: " + server.url("/flaky") +
                              "?q={$url}  (failed its last 2 runs)\n");

    // Three failed runs are needed: only "gone" goes.
    ASSERT_EQ(runCli({"prune", "--templates", templates, "--failed-runs", "3", "--save", path("kept3.txt"),
                      "--db", database})
                  .exitCode,
              0);
    EXPECT_EQ(TempDir::read(dir / "kept3.txt"), line("/ok") + marker + line("/new") + line("/flaky"));

    // Named as the output, the template file itself is replaced.
    ASSERT_EQ(runCli({"prune", "--templates", templates, "--failed-runs", "2", "--save", templates, "--db",
                      database})
                  .exitCode,
              0);
    EXPECT_EQ(TempDir::read(templates), line("/ok") + marker + line("/new"));
}

TEST_F(CliHistory, ReportIsOneSelfContainedHtmlFile)
{
    recordThreePasses();
    const CliRun last = runCli({"report", "--html", path("last.html"), "--db", database});
    ASSERT_EQ(last.exitCode, 0) << last.err;
    EXPECT_EQ(last.out, "wrote " + path("last.html") + " (run 3)\n");
    const std::string html = TempDir::read(dir / "last.html");
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>"));
    EXPECT_NE(html.find("run 3 for mine.example"), std::string::npos);
    // Three charts, drawn in the file: nothing to fetch, nothing to run.
    int charts = 0;
    for (std::size_t at = html.find("<svg"); at != std::string::npos; at = html.find("<svg", at + 1))
        ++charts;
    EXPECT_EQ(charts, 3);
    for (const char* outside : {"<script", "src=", "href=", "@import", "url("})
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;

    // The flaky template failed for the first time in run 2.
    ASSERT_EQ(runCli({"report", "--run", "2", "--html", path("two.html"), "--db", database}).exitCode, 0);
    const std::string second = TempDir::read(dir / "two.html");
    EXPECT_NE(second.find("Newly failed templates (1)"), std::string::npos);
    EXPECT_NE(second.find("/flaky?q={$url}</li>"), std::string::npos);
    EXPECT_NE(html.find("Newly failed templates (0)"), std::string::npos);
}

TEST_F(CliHistory, BadCasesSayWhyAndChangeNothing)
{
    recordThreePasses();
    const std::string json = dir.write("list.json", R"(["http://a.example/{{DOMAIN}}"])").string();
    const struct
    {
        const char* name;
        std::vector<std::string> arguments;
        int exitCode;
        std::string errorStart;
    } cases[] = {
        {"one failed run is too few",
         {"prune", "--templates", templates, "--failed-runs", "1", "--save", path("out.txt"), "--db",
          database},
         2,
         "--failed-runs: \"1\" is not a whole number from 2 to 1000000\n"},
        {"prune without --save",
         {"prune", "--templates", templates, "--failed-runs", "2", "--db", database},
         2,
         ""},
        {"prune of another tool's list",
         {"prune", "--templates", json, "--failed-runs", "2", "--save", path("out.txt"), "--db", database},
         2,
         "tavrin-cli: cannot read the template file " + json + " (not a template file"},
        {"prune of a missing file",
         {"prune", "--templates", path("missing.txt"), "--failed-runs", "2", "--save", path("out.txt"),
          "--db", database},
         2,
         "tavrin-cli: cannot read the template file "},
        {"prune without a history",
         {"prune", "--templates", templates, "--failed-runs", "2", "--save", path("out.txt"), "--db",
          path("none.sqlite")},
         1,
         "tavrin-cli: cannot read the history: no history at "},
        {"report of a run that is not there",
         {"report", "--run", "99", "--html", path("out.txt"), "--db", database},
         1,
         "tavrin-cli: cannot read the history: no run 99 in the history"},
        {"--run and --last",
         {"report", "--run", "1", "--last", "--html", path("out.txt"), "--db", database},
         2,
         ""},
        {"history of a missing database",
         {"history", "--db", path("none.sqlite")},
         1,
         "tavrin-cli: cannot read"},
        {"--db and --no-history",
         {"submit", "--site", "a.example", "--templates", templates, "--db", database, "--no-history"},
         2,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun result = runCli(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
        EXPECT_NE(result.err, "");
        EXPECT_NE(result.err.find(c.errorStart), std::string::npos) << result.err;
        EXPECT_FALSE(std::filesystem::exists(path("out.txt")));
        EXPECT_FALSE(std::filesystem::exists(path("none.sqlite")));
    }
}

TEST_F(CliHistory, ARunGoesOnWithoutAHistoryItCannotUse)
{
    const std::string notes = dir.write("notes.sqlite", "the user's notes, not a database").string();
    const CliRun result = runCli(
        {"submit", "--site", "mine.example", "--templates", templates, "--timeout", "5", "--db", notes});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("pass 1: √ 2, × 1"), std::string::npos) << result.out;
    EXPECT_TRUE(result.err.starts_with("tavrin-cli: the run goes on without history: ")) << result.err;
    EXPECT_EQ(TempDir::read(notes), "the user's notes, not a database");

    // --no-history leaves the default database alone (it is not even made).
    std::optional<testing_support::ScopedDataHome> dataHome(std::in_place, dir / "data");
    const CliRun quiet = runCli(
        {"submit", "--site", "mine.example", "--templates", templates, "--timeout", "5", "--no-history"});
    const bool madeByQuiet = std::filesystem::exists(dir / "data");
    const CliRun recorded =
        runCli({"submit", "--site", "mine.example", "--templates", templates, "--timeout", "5"});
    dataHome.reset();
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(recorded.exitCode, 0);
    EXPECT_FALSE(madeByQuiet);
    EXPECT_TRUE(std::filesystem::exists(dir / "data" / "tavrin" / "history.sqlite"));
}

} // namespace
} // namespace tavrin::cli
