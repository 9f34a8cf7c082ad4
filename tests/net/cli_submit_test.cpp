// tavrin-cli submit, run in-process against a local server: counts, --save, --json,
// --pass-stats, bad arguments and Ctrl-C.
#include "cli/cli.h"
#include "cli/interrupt.h"
#include "support/cli_run.h"
#include "support/local_server.h"
#include "support/scoped_data_home.h"

#include "support/temp_dir.h"
#include "support/under_wine.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
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
        dataHomeVariable.emplace(dataHome.path());
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
        // Removes the folders an output is written to, while the pass runs.
        server.routes().Get("/vanish", [this](const httplib::Request&, httplib::Response& res) {
            // Windows keeps a folder while a file in it is open (the report being written).
            std::error_code failed;
            std::filesystem::remove_all(dir / "reports", failed);
            foldersVanished =
                !failed && std::filesystem::remove_all(dir / "libraries", failed) > 0 && !failed;
            res.set_content("listed", "text/plain");
        });
        server.routes().set_pre_routing_handler([this](const httplib::Request&, httplib::Response&) {
            ++requests;
            return httplib::Server::HandlerResponse::Unhandled;
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
        dataHomeVariable.reset();
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
    std::optional<testing_support::ScopedDataHome> dataHomeVariable;
    std::atomic<int> requests{0};
    std::atomic<int> slowStarted{0};
    std::atomic<bool> releaseSlow{false};
    std::atomic<bool> foldersVanished{false};
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
    EXPECT_EQ(result.out, "loaded 3 templates from " + file + "\npass 1: √ 2, × 1, not checked 0\n" +
                              "pass 2: √ 2, × 1, not checked 0\nsaved 2 templates to " + saved +
                              " (1 marked × left out)\n");

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

TEST_F(CliSubmit, OutputsThatCannotBeWrittenAreRefusedBeforeTheFirstRequest)
{
    const std::string file = templates({"/ok", "/gone"});
    const std::string notes = dir.write("notes.txt", "the user's notes").string();
    const std::string sites = dir.write("sites.txt", "a.example\n").string();
    std::filesystem::create_directory(dir / "folder");
    const std::string missing = (dir / "missing" / "out.txt").string();
    const std::string underAFile = notes + "/out.txt";
    const std::string folder = (dir / "folder").string();
    const std::string existing = dir.write("existing.txt", "kept").string();
    const struct
    {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--json", missing},
         "tavrin-cli: cannot write --json " + missing + ": there is no folder " + (dir / "missing").string() +
             "\n"},
        {{"--save", missing},
         "tavrin-cli: cannot write --save " + missing + ": there is no folder " + (dir / "missing").string() +
             "\n"},
        {{"--json", underAFile},
         "tavrin-cli: cannot write --json " + underAFile + ": " + notes + " is not a folder\n"},
        {{"--save", underAFile},
         "tavrin-cli: cannot write --save " + underAFile + ": " + notes + " is not a folder\n"},
        {{"--json", folder}, "tavrin-cli: cannot write --json " + folder + ": a folder is in its place\n"},
        {{"--save", folder + "/"},
         "tavrin-cli: cannot write --save " + folder + "/: it names a folder, not a file\n"},
        // A run that cannot save is refused even when its report could be written, and the
        // other way round, before either is begun.
        {{"--json", existing, "--save", missing},
         "tavrin-cli: cannot write --save " + missing + ": there is no folder " + (dir / "missing").string() +
             "\n"},
        {{"--save", existing, "--json", underAFile},
         "tavrin-cli: cannot write --json " + underAFile + ": " + notes + " is not a folder\n"},
        // Writing the report would replace a file the run reads, or the saved library.
        {{"--json", file},
         "tavrin-cli: --json " + file + " is also given to --templates, which the run would replace\n"},
        {{"--json", existing, "--save", existing},
         "tavrin-cli: --json " + existing + " is also given to --save, which the run would replace\n"},
        {{"--sites", sites, "--save", (dir / "." / "sites.txt").string()},
         "tavrin-cli: --save " + (dir / "." / "sites.txt").string() +
             " is also given to --sites, which the run would replace\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> arguments = {"submit",      "--site", "a.example",
                                              "--templates", file,     "--no-history"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const CliRun result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err, c.message);
        EXPECT_EQ(result.out, "") << "nothing was loaded or checked";
    }
    EXPECT_EQ(requests.load(), 0);
    // Nothing left behind, nothing touched.
    EXPECT_EQ(TempDir::read(notes), "the user's notes");
    EXPECT_EQ(TempDir::read(existing), "kept");
    EXPECT_EQ(TempDir::read(sites), "a.example\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir / "folder"));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 5);
}

TEST_F(CliSubmit, OutputsWhoseFolderVanishesDuringTheRunFailItAfterThePasses)
{
    // The service removes the folders of both outputs while the pass runs.
    std::filesystem::create_directories(dir / "reports");
    std::filesystem::create_directories(dir / "libraries");
    const std::string saved = (dir / "libraries" / "saved.txt").string();
    const std::string report = (dir / "reports" / "report.json").string();
    const CliRun result =
        runCli({"submit", "--site", "a.example", "--templates", templates({"/vanish", "/gone"}), "--threads",
                "2", "--save", saved, "--json", report, "--no-history"});
    if (!foldersVanished)
        GTEST_SKIP() << "this system does not remove a folder while a file in it is open";
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("pass 1: √ 1, × 1, not checked 0\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("saved"), std::string::npos) << result.out;
    const std::vector<std::string> err = linesOf(result.err);
    ASSERT_EQ(err.size(), 2u) << result.err;
    EXPECT_EQ(err[0], "tavrin-cli: cannot save the templates to " + saved +
                          " (create: No such file or directory); the file was left as it was");
    EXPECT_TRUE(err[1].starts_with("tavrin-cli: cannot write the report " + report + " (")) << err[1];
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
        // Wine counts no handles of a process (its count is a stub that answers 0).
        if (!testing_support::runningUnderWine()) {
            EXPECT_GE(std::stoi(found[5]), 3) << "the standard streams at least";
        }
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
        return runCli({"submit", "--site", "a.example", "--templates", file, "--threads", "1", "--save",
                       saved, "--json", report});
    });
    // One thread makes two workers: once both wait on a slow service, the quick row is done and
    // marked (a worker marks its row before it takes the next one).
    for (int i = 0; i < 200 && slowStarted < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(slowStarted.load(), 2);
    requestInterrupt();
    ASSERT_EQ(running.wait_for(std::chrono::seconds(3)), std::future_status::ready)
        << "the interrupt must not wait for the slow answers";
    const CliRun result = running.get();
    clearInterrupt();

    EXPECT_EQ(result.exitCode, 130);
    EXPECT_EQ(result.out, "loaded 4 templates from " + file +
                              "\npass 1: √ 1, × 0, not checked 3 (stopped)\n" + "saved 4 templates to " +
                              saved + "\n");
    const std::vector<std::string> rows = linesOf(TempDir::read(report));
    ASSERT_EQ(rows.size(), 1u) << "only the finished row is reported";
    EXPECT_NE(rows[0].find("/ok?site=a.example"), std::string::npos);
    EXPECT_EQ(linesOf(TempDir::read(saved)).size(), 4u) << "--save still writes every row";
}

// Whether `printed` is English: ASCII, but for the marks.
bool asciiButTheMarks(std::string printed)
{
    for (const std::string mark : {"√", "×"}) {
        for (std::size_t at = printed.find(mark); at != std::string::npos; at = printed.find(mark, at))
            printed.erase(at, mark.size());
    }
    return std::all_of(printed.begin(), printed.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

TEST_F(CliSubmit, AStoppedRunSavingOnlySuccessesOverItsTemplatesDropsOnlyTheFailures)
{
    // A library of 400 templates: one service in twenty answers at once (listed or gone), the
    // rest take their time. The run is stopped while every worker waits on a slow one.
    constexpr int kTemplates = 400;
    std::string library;
    for (int row = 0; row < kTemplates; ++row) {
        const char* path = row % 20 == 0 ? "/ok" : row % 20 == 1 ? "/gone" : "/slow";
        library += server.url(path) + "?n=" + std::to_string(row) + "&site={$url}\r\n";
    }
    const std::string file = dir.write("url.txt", library).string();
    const std::string report = (dir / "report.json").string();
    constexpr int kThreads = 8;
    auto running = std::async(std::launch::async, [&] {
        return runCli({"submit", "--site", "a.example", "--templates", file, "--threads",
                       std::to_string(kThreads), "--save", file, "--only-success", "--json", report});
    });
    // Every worker (one more than the threads) on a slow service: no quick row is in hand.
    for (int i = 0; i < 500 && slowStarted < kThreads + 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(slowStarted.load(), kThreads + 1);
    // Long enough for the plain output to say which row is being checked.
    std::this_thread::sleep_for(std::chrono::milliseconds(2300));
    requestInterrupt();
    ASSERT_EQ(running.wait_for(std::chrono::seconds(3)), std::future_status::ready);
    const CliRun result = running.get();
    clearInterrupt();
    EXPECT_EQ(result.exitCode, 130) << result.err;

    // What the report says was checked, by template.
    std::set<std::string> failed;
    int succeeded = 0;
    for (const std::string& line : linesOf(TempDir::read(report))) {
        const nlohmann::json row = nlohmann::json::parse(line);
        std::string templateText = row.at("url");
        templateText.replace(templateText.find("a.example"), 9, "{$url}");
        if (row.at("mark") == "×")
            failed.insert(templateText);
        else
            ++succeeded;
    }
    ASSERT_FALSE(failed.empty());
    ASSERT_GT(succeeded, 0);
    const int notChecked = kTemplates - succeeded - static_cast<int>(failed.size());
    EXPECT_GE(notChecked, kTemplates * 18 / 20 - kThreads - 1) << "most were never reached";

    // The library keeps every template but those found to fail, in its order.
    std::string kept;
    for (const std::string& line : linesOf(library)) {
        const std::string templateText = line.substr(0, line.size() - 1);
        if (!failed.contains(templateText))
            kept += line + "\n";
    }
    EXPECT_EQ(TempDir::read(file), kept);

    // Said in English, the pass's figures once, then the save.
    EXPECT_TRUE(asciiButTheMarks(result.out + result.err)) << result.out << result.err;
    const std::vector<std::string> out = linesOf(result.out);
    ASSERT_GE(out.size(), 4u) << result.out;
    EXPECT_EQ(out.front(), "loaded 400 templates from " + file);
    const std::regex checking(R"(checking \d+/400: http://127\.0\.0\.1:\d+/slow\?n=\d+&site=a\.example)");
    EXPECT_TRUE(std::regex_match(out[1], checking)) << out[1];
    EXPECT_EQ(out[out.size() - 2], "pass 1: √ " + std::to_string(succeeded) + ", × " +
                                       std::to_string(failed.size()) + ", not checked " +
                                       std::to_string(notChecked) + " (stopped)");
    EXPECT_EQ(out.back(), "saved " + std::to_string(kTemplates - failed.size()) + " templates to " + file +
                              " (" + std::to_string(failed.size()) + " marked × left out)");
    EXPECT_EQ(std::count_if(out.begin(), out.end(),
                            [](const std::string& line) { return line.starts_with("pass "); }),
              1);

    // The history's report of the run says it was cut short.
    const std::string html = (dir / "run.html").string();
    ASSERT_EQ(runCli({"report", "--html", html}).exitCode, 0);
    EXPECT_NE(TempDir::read(html).find("before " + std::to_string(notChecked) +
                                       " of its 400 templates were checked"),
              std::string::npos);
}

TEST_F(CliSubmit, SavingOnlySuccessesWhenEveryTemplateFailedLeavesTheLibraryAlone)
{
    const std::string file = templates({"/gone", "/gone"});
    const std::string library = TempDir::read(file);
    const CliRun result = runCli({"submit", "--site", "a.example", "--templates", file, "--save", file,
                                  "--only-success", "--no-history"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.out.find("pass 1: √ 0, × 2, not checked 0\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.err, "tavrin-cli: no template to save; left as it was: " + file + "\n");
    EXPECT_EQ(TempDir::read(file), library);
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

} // namespace
} // namespace tavrin::cli
