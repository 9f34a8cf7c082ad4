// tavrin-cli submit, run in-process against a local server: counts, --save, --json,
// --pass-stats, bad arguments and Ctrl-C.
#include "cli/cli.h"
#include "cli/interrupt.h"
#include "support/cli_run.h"
#include "support/local_server.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

namespace tavrin::cli {
namespace {

using testing_support::CliRun;
using testing_support::linesOf;
using testing_support::LocalServer;
using testing_support::runCli;
using testing_support::TempDir;

class CliSubmit : public testing::Test
{
protected:
    void SetUp() override
    {
        // Every run records its passes: into a history of the test's own.
        if (const char* before = std::getenv("XDG_DATA_HOME"))
            dataHomeBefore = before;
        ::setenv("XDG_DATA_HOME", dataHome.path().c_str(), 1);
        server.routes().Get("/ok", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("listed", "text/plain");
        });
        server.routes().Get("/gone", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("gone", "text/plain");
        });
        server.routes().Get("/brief", [](const httplib::Request&, httplib::Response& res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            res.set_content("listed", "text/plain");
        });
        server.routes().Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            ++slowStarted;
            for (int i = 0; i < 100 && !releaseSlow; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            res.set_content("late", "text/plain");
        });
        // A results page that reads the same for every host but its name; the first request for
        // each query URL is told to come back in a second.
        for (const auto& [path, busy] : {std::pair{"/busy-same", 503}, std::pair{"/busy429-same", 429}}) {
            server.routes().Get(path, [this, busy](const httplib::Request& req, httplib::Response& res) {
                if (!busyAtFirst(req, res, busy))
                    res.set_content("Results for " + req.get_param_value("site") + ": none", "text/plain");
            });
        }
        server.routes().Get("/busy-differs", [this](const httplib::Request& req, httplib::Response& res) {
            if (busyAtFirst(req, res, 503))
                return;
            const std::string site = req.get_param_value("site");
            res.set_content("Results for " + site + (site == kSite ? ": rank 5" : ": none"), "text/plain");
        });
        // The site's page at once; for any other host, no answer within the row's limit ...
        server.routes().Get("/control-hangs", [this](const httplib::Request& req, httplib::Response& res) {
            for (int i = 0; i < 100 && !releaseSlow && req.get_param_value("site") != kSite; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            res.set_content("Results for " + req.get_param_value("site"), "text/plain");
        });
        // ... or a refusal.
        server.routes().Get("/control-refused", [](const httplib::Request& req, httplib::Response& res) {
            if (req.get_param_value("site") != kSite)
                res.status = 403;
            res.set_content("Results for " + req.get_param_value("site"), "text/plain");
        });
        server.start();
    }
    void TearDown() override
    {
        if (dataHomeBefore)
            ::setenv("XDG_DATA_HOME", dataHomeBefore->c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
        releaseSlow = true;
        server.stop();
    }

    std::string templates(const std::vector<std::string>& paths)
    {
        std::string file;
        for (const std::string& path : paths)
            file += server.url(path) + "?site={$url}\r\n";
        return dir.write("templates.txt", file).string();
    }

    // Answers `status` with "Retry-After: 1" to the first request for each query URL; false for
    // every later one.
    bool busyAtFirst(const httplib::Request& req, httplib::Response& res, int status)
    {
        const std::lock_guard lock(askedMutex);
        if (!askedBefore.insert(req.path + "?" + req.get_param_value("site")).second)
            return false;
        res.status = status;
        res.set_header("Retry-After", "1");
        res.set_content("busy, come back later", "text/plain");
        return true;
    }

    static constexpr const char* kSite = "www.mine.example";
    std::mutex askedMutex;
    std::set<std::string> askedBefore; // guarded by askedMutex
    LocalServer server;
    TempDir dir;
    TempDir dataHome;
    std::optional<std::string> dataHomeBefore;
    std::atomic<int> slowStarted{0};
    std::atomic<bool> releaseSlow{false};
};

TEST_F(CliSubmit, RunsPassesAndWritesTheSaveAndTheReport)
{
    const std::string file = templates({"/ok", "/gone", "/ok"});
    const std::string saved = (dir / "saved.txt").string();
    const std::string report = (dir / "report.json").string();
    const CliRun result =
        runCli({"submit", "--site", "https://WWW.Mine.example:8443/", "--templates", file, "--threads", "2",
                "--loop", "2", "--save", saved, "--only-success", "--json", report});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::vector<std::string> out = linesOf(result.out);
    ASSERT_GE(out.size(), 5u);
    EXPECT_EQ(out[0], "导入：3个网址，共：3个网址");
    EXPECT_EQ(out[1], "全部提交完成！");
    EXPECT_EQ(out[2], "pass 1: √ 2, × 1");
    EXPECT_EQ(out[4], "pass 2: √ 2, × 1");

    const std::string ok = server.url("/ok") + "?site={$url}\r\n";
    EXPECT_EQ(TempDir::read(saved), ok + ok);

    const std::vector<std::string> rows = linesOf(TempDir::read(report));
    ASSERT_EQ(rows.size(), 6u);
    int notFound = 0;
    for (const std::string& row : rows) {
        EXPECT_NE(row.find("www.mine.example"), std::string::npos) << row;
        if (row.find("\"status\":404") != std::string::npos) {
            ++notFound;
            EXPECT_NE(row.find("\"mark\":\"×\",\"status\":404,\"test\":\"404 in header\""), std::string::npos)
                << row;
        }
        // What the check saw of the page.
        const nlohmann::json fields = nlohmann::json::parse(row);
        EXPECT_EQ(fields.at("final_url"), fields.at("url"));
        EXPECT_EQ(fields.at("attempts"), 1);
        EXPECT_EQ(fields.at("bytes"), fields.at("status") == 404 ? 4 : 6);
        EXPECT_EQ(fields.at("title"), "");
        EXPECT_EQ(fields.at("mentions"), false);
        EXPECT_EQ(fields.at("links"), false);
        EXPECT_FALSE(fields.contains("baseline")) << "the rule was off";
    }
    EXPECT_EQ(notFound, 2);
    // The report was written through a temporary file beside it, which is gone.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

TEST_F(CliSubmit, BaselineComparesControlPagesRetriedAsTheRowsOwnAndNeverGuesses)
{
    const struct
    {
        const char* path;
        const char* mark;
        const char* test;
        int attempts;
        // Nothing: no "baseline" key, the rule was not reached.
        std::optional<std::string> baseline;
    } cases[] = {
        {"/busy-same", "×", "same page for any site", 2, "same"},
        {"/busy429-same", "×", "same page for any site", 2, "same"},
        {"/busy-differs", "√", "", 2, "differs"},
        {"/control-hangs", "√", "", 1, "unreadable"},
        {"/control-refused", "√", "", 1, "unreadable"},
        {"/gone", "×", "404 in header", 1, std::nullopt},
    };
    std::vector<std::string> paths;
    for (const auto& c : cases)
        paths.push_back(c.path);
    const std::string file = templates(paths);
    // The control page at the same time as the row's own, and after it under a per-host cap.
    for (const std::vector<std::string>& order : {std::vector<std::string>{}, {"--per-host", "5"}}) {
        SCOPED_TRACE(order.empty() ? "at the same time" : "one request at a time");
        {
            const std::lock_guard lock(askedMutex);
            askedBefore.clear();
        }
        const std::string report = (dir / "baseline.json").string();
        std::vector<std::string> arguments = {
            "submit",      "--site",    std::string("http://") + kSite + "/",
            "--templates", file,        "--threads",
            "8",           "--timeout", "4",
            "--baseline",  "--json",    report};
        arguments.insert(arguments.end(), order.begin(), order.end());
        const CliRun result = runCli(arguments);
        ASSERT_EQ(result.exitCode, 0) << result.err;

        std::map<std::string, nlohmann::json> rows;
        for (const std::string& line : linesOf(TempDir::read(report))) {
            nlohmann::json row = nlohmann::json::parse(line);
            const std::string url = row.at("url");
            rows[url.substr(0, url.find('?'))] = std::move(row);
        }
        for (const auto& c : cases) {
            SCOPED_TRACE(c.path);
            const auto found = rows.find(server.url(c.path));
            ASSERT_NE(found, rows.end());
            const nlohmann::json& row = found->second;
            EXPECT_EQ(row.at("mark"), c.mark);
            EXPECT_EQ(row.at("test"), c.test);
            EXPECT_EQ(row.at("attempts"), c.attempts) << "the row's own requests";
            if (c.baseline)
                EXPECT_EQ(row.value("baseline", "(none)"), *c.baseline);
            else
                EXPECT_FALSE(row.contains("baseline")) << row;
        }
    }
}

TEST_F(CliSubmit, AReportThatCannotBeWrittenFailsTheRunAfterThePasses)
{
    const std::string saved = (dir / "saved.txt").string();
    const std::string report = (dir / "missing" / "report.json").string();
    const CliRun result = runCli({"submit", "--site", "a.example", "--templates", templates({"/ok", "/gone"}),
                                  "--threads", "2", "--save", saved, "--json", report});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("cannot write the report " + report), std::string::npos) << result.err;
    EXPECT_NE(result.out.find("pass 1: √ 1, × 1"), std::string::npos) << result.out;
    EXPECT_EQ(linesOf(TempDir::read(saved)).size(), 2u) << "--save is still written";
}

TEST_F(CliSubmit, PassStatsPrintsTheFiguresOfEveryPassOnStderr)
{
    const std::vector<std::string> arguments = {
        "submit", "--site", "a.example", "--templates", templates({"/ok", "/gone", "/ok"}), "--threads",
        "2",      "--loop", "2"};
    const CliRun plain = runCli(arguments);
    std::vector<std::string> withStats = arguments;
    withStats.push_back("--pass-stats");
    const CliRun result = runCli(withStats);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, plain.out) << "standard output is the same with or without the figures";

    const std::vector<std::string> lines = linesOf(result.err);
    ASSERT_EQ(lines.size(), 2u) << result.err;
    const std::regex figures(
        R"(pass (\d) stats: marked=3/3 succeeded=2 failed=1 retries=0 seconds=\d+\.\d{3} )"
        R"(rss_kb=(\d+) peak_kb=(\d+) threads=(\d+) fds=(\d+))");
    for (int pass = 1; pass <= 2; ++pass) {
        std::smatch found;
        ASSERT_TRUE(std::regex_match(lines[pass - 1], found, figures)) << lines[pass - 1];
        EXPECT_EQ(std::stoi(found[1]), pass);
        const long resident = std::stol(found[2]);
        EXPECT_GT(resident, 0);
        EXPECT_GE(std::stol(found[3]), resident) << "the peak is at least the current size";
        EXPECT_GE(std::stoi(found[4]), 2) << "this thread and the network thread at least";
        EXPECT_GE(std::stoi(found[5]), 3) << "the standard streams at least";
    }
}

TEST_F(CliSubmit, BadArgumentsAndUnreadableFilesExitWithTwo)
{
    const std::string file = templates({"/ok"});
    const std::vector<std::vector<std::string>> cases = {
        {"submit", "--templates", file},
        {"submit", "--site", "a.example", "--templates", file, "--threads", "0"},
        {"submit", "--site", "a.example", "--templates", file, "--threads", "501"},
        {"submit", "--site", "a.example", "--templates", file, "--loop", "0"},
        {"submit", "--site", "a.example", "--templates", (dir / "missing.txt").string()},
        {"submit", "--site", "a.example", "--templates", dir.path().string()},
    };
    for (const auto& arguments : cases) {
        SCOPED_TRACE(arguments.back());
        const CliRun result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_FALSE(result.err.empty());
    }
}

TEST_F(CliSubmit, InterruptStopsThePassAndKeepsWhatFinished)
{
    const std::string file = templates({"/ok", "/slow", "/slow", "/slow"});
    const std::string saved = (dir / "saved.txt").string();
    const std::string report = (dir / "report.json").string();
    auto running = std::async(std::launch::async, [&] {
        return runCli({"submit", "--site", "a.example", "--templates", file, "--threads", "4", "--save",
                       saved, "--json", report});
    });
    for (int i = 0; i < 200 && slowStarted < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(slowStarted.load(), 3);
    requestInterrupt();
    ASSERT_EQ(running.wait_for(std::chrono::seconds(3)), std::future_status::ready)
        << "the interrupt must not wait for the slow answers";
    const CliRun result = running.get();
    clearInterrupt();

    EXPECT_EQ(result.exitCode, 130);
    EXPECT_NE(result.out.find("成功停止了全部线程"), std::string::npos) << result.out;
    const std::vector<std::string> rows = linesOf(TempDir::read(report));
    ASSERT_EQ(rows.size(), 1u) << "only the finished row is reported";
    EXPECT_NE(rows[0].find("/ok?site=a.example"), std::string::npos);
    EXPECT_EQ(linesOf(TempDir::read(saved)).size(), 4u) << "--save still writes every row";
}

TEST_F(CliSubmit, ATerminalGetsALiveProgressLine)
{
    const CliRun result = runCli(
        {"submit", "--site", "a.example", "--templates", templates({"/brief"}), "--threads", "1"}, true);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("\r1/1 100%"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("req/s"), std::string::npos);
}

TEST_F(CliSubmit, TemplateFilesTheWindowRefusesExitWithTwo)
{
    const auto huge = dir / "huge.txt";
    std::filesystem::resize_file(dir.write("huge.txt", ""), 1ull << 30);
    std::string manyLines;
    for (int i = 0; i <= 1'000'000; ++i)
        manyLines += "a\r\n";
    const struct
    {
        std::filesystem::path file;
        std::string reason;
    } cases[] = {
        {huge, " (larger than 256 MB)"},
        {dir.write("picture.png", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)), " (not a text file)"},
        {dir.write("many.txt", manyLines), " (more than 1,000,000 templates)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.filename().string());
        const CliRun result = runCli({"submit", "--site", "a.example", "--templates", c.file.string()});
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err,
                  "tavrin-cli: cannot read the template file " + c.file.string() + c.reason + "\n");
        EXPECT_EQ(result.out, "") << "no pass runs";
    }
}

TEST_F(CliSubmit, AFailedSaveIsReportedAndExitsWithOne)
{
    std::filesystem::create_directory(dir / "folder");
    const struct
    {
        std::filesystem::path target;
        std::string reason;
    } cases[] = {
        {dir / "missing" / "saved.txt", "create: No such file or directory"},
        {dir / "folder", "is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target.string());
        const CliRun result = runCli({"submit", "--site", "a.example", "--templates", templates({"/ok"}),
                                      "--save", c.target.string()});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err, "保存失败，原文件未改动：" + c.target.string() + "（" + c.reason + "）\n");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "folder"));
}

} // namespace
} // namespace tavrin::cli
