// Whole runs of tavrin-cli submit through proxies that go wrong, and through services that go
// wrong behind proxies that work: a proxy is blamed only for what it did, and a row that no
// proxy could check is "not checked", never ×, in the report, the history and --save.
//
// Every service lives on 127.0.0.1; a service's name ("slow7.test") reaches it only through the
// stand-in proxies, which connect every name to 127.0.0.1 at the port asked.
#include "support/cli_run.h"
#include "support/http_proxy.h"
#include "support/local_server.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace tavrin::cli {
namespace {

using testing_support::CliRun;
using testing_support::HttpProxy;
using testing_support::LocalServer;
using testing_support::RawServer;
using testing_support::runCli;
using testing_support::TempDir;

class ProxyRuns : public testing::Test
{
protected:
    void SetUp() override
    {
        web.routes().Get("/page", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("listed", "text/html");
        });
        // Answers only after every row's limit has passed (or when the test ends).
        web.routes().Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            for (int i = 0; i < 100 && !releaseSlow; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            res.set_content("late", "text/html");
        });
        web.start();
    }
    void TearDown() override
    {
        releaseSlow = true;
        web.stop();
    }

    // A template of the service `name` (a host of its own) on the local server's `path`; rows of
    // one service are told apart by `number`.
    [[nodiscard]] std::string templateOf(const std::string& name, const std::string& path,
                                         int number = 0) const
    {
        return "http://" + name + ":" + std::to_string(web.port()) + path + "?n=" + std::to_string(number) +
               "&q={$url}";
    }
    [[nodiscard]] std::string write(const std::string& name, const std::vector<std::string>& lines) const
    {
        std::string file;
        for (const std::string& line : lines)
            file += line + "\r\n";
        return dir.write(name, file).string();
    }
    [[nodiscard]] std::string path(const std::string& name) const { return (dir / name).string(); }

    // The marks of a --json report by template text, one per row.
    [[nodiscard]] static std::map<std::string, std::string> marksByTemplate(const std::string& report,
                                                                            const std::string& site)
    {
        std::map<std::string, std::string> marks;
        std::istringstream lines(TempDir::read(report));
        for (std::string line; std::getline(lines, line);) {
            const nlohmann::json row = nlohmann::json::parse(line);
            std::string url = row["url"];
            url.replace(url.find(site), site.size(), "{$url}");
            marks[url] = row["mark"];
        }
        return marks;
    }

    std::atomic<bool> releaseSlow{false};
    LocalServer web;
    TempDir dir;
};

TEST_F(ProxyRuns, SlowAndResettingServicesBehindWorkingProxiesAreTheirOwnFailures)
{
    const RawServer resetting = RawServer::resetting();
    const auto resettingTemplate = [&resetting](int service) {
        return "http://reset" + std::to_string(service) + ".test:" + std::to_string(resetting.port()) +
               "/?q={$url}";
    };
    struct Case
    {
        const char* name;
        bool list; // --proxies rather than --proxy
        int proxies;
        int fast;
        int slow;
        int resetting;
    };
    // One proxy with a few slow services among fast ones, and a list of three with slow and
    // resetting services spread over many rows.
    for (const Case& c : {Case{"--proxy", false, 1, 50, 5, 0}, Case{"a list of one", true, 1, 50, 5, 0},
                          Case{"a list of three", true, 3, 150, 30, 60}}) {
        SCOPED_TRACE(c.name);
        std::vector<std::unique_ptr<HttpProxy>> proxies;
        std::vector<std::string> addresses;
        for (int i = 0; i < c.proxies; ++i) {
            proxies.push_back(std::make_unique<HttpProxy>());
            addresses.push_back(proxies.back()->address());
        }
        std::vector<std::string> templates;
        std::map<std::string, std::string> expected;
        for (int i = 0; i < c.fast; ++i)
            expected[templates.emplace_back(
                templateOf("fast" + std::to_string(i % 40) + ".test", "/page", i))] = "√";
        for (int i = 0; i < c.slow; ++i)
            expected[templates.emplace_back(templateOf("slow" + std::to_string(i) + ".test", "/slow"))] = "×";
        for (int i = 0; i < c.resetting; ++i)
            expected[templates.emplace_back(resettingTemplate(i))] = "×";
        std::vector<std::string> arguments = {
            "submit",    "--site", "mine.example", "--templates",        write("url.txt", templates),
            "--timeout", "2",      "--json",       path("report.jsonl"), "--no-history"};
        if (!c.list)
            arguments.insert(arguments.end(), {"--proxy", addresses.front()});
        else
            arguments.insert(arguments.end(), {"--proxies", write("proxies.txt", addresses)});
        const CliRun result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "") << "no proxy is set aside";
        EXPECT_EQ(marksByTemplate(path("report.jsonl"), "mine.example"), expected);
        const std::string summary = "pass 1: √ " + std::to_string(c.fast) + ", × " +
                                    std::to_string(c.slow + c.resetting) + ", not checked 0\n";
        EXPECT_TRUE(result.out.ends_with(summary)) << result.out;
    }
}

TEST_F(ProxyRuns, AHangingProxyBesideAWorkingOneCostsNoRowItsMark)
{
    const struct
    {
        HttpProxy::Behaviour behaviour;
        std::string why;
    } cases[] = {
        {HttpProxy::Behaviour::Hang, "it takes connections but answers nothing"},
        // It answers when asked about itself: only the services that answer through the other
        // proxy show it to be the one at fault.
        {HttpProxy::Behaviour::HangForServices,
         "no answer to requests for 3 different services while other proxies answered"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        HttpProxy working;
        HttpProxy hanging(c.behaviour);
        std::vector<std::string> templates;
        for (int i = 0; i < 200; ++i)
            templates.push_back(templateOf("service" + std::to_string(i % 20) + ".test", "/page", i));
        const CliRun result = runCli(
            {"submit", "--site", "mine.example", "--templates", write("url.txt", templates), "--threads",
             "50", "--timeout", "5", "--proxies",
             write("proxies.txt", {working.address(), hanging.address()}), "--db", path("history.sqlite")});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_TRUE(result.out.ends_with("pass 1: √ 200, × 0, not checked 0\n")) << result.out;
        EXPECT_EQ(result.err, "tavrin-cli: proxy " + hanging.address() + " set aside: " + c.why + "\n");
        EXPECT_EQ(working.destinations().size(), 200u);
    }
}

TEST_F(ProxyRuns, RowsNoProxyCouldCheckAreNeitherFailuresInTheHistoryNorDroppedBySaving)
{
    HttpProxy working;
    HttpProxy hanging(HttpProxy::Behaviour::Hang);
    HttpProxy carryingNothing(HttpProxy::Behaviour::HangForServices);
    std::vector<std::string> lines;
    for (int i = 0; i < 4; ++i)
        lines.push_back(templateOf("service" + std::to_string(i) + ".test", "/page"));
    const std::string templates = write("url.txt", lines);
    const std::string database = path("history.sqlite");
    const auto submit = [&](const std::string& proxies, const std::string& saved) {
        return runCli({"submit", "--site", "mine.example", "--templates", templates, "--timeout", "2",
                       "--proxies", write("proxies.txt", {proxies}), "--db", database, "--save", saved,
                       "--only-success", "--json", path("report.jsonl")});
    };
    // Once through a working proxy, then through proxies that reach nothing: set aside (the pass
    // then ends with exit code 1), or kept, since alone nothing proves it at fault.
    ASSERT_EQ(submit(working.address(), path("good.txt")).exitCode, 0);
    EXPECT_EQ(TempDir::read(path("good.txt")), TempDir::read(templates));
    const struct
    {
        std::string proxy;
        int exitCode;
        std::string summary;
    } dead[] = {
        {hanging.address(), 1, ""},
        {"http://127.0.0.1:1", 1, ""},
        {carryingNothing.address(), 0, "pass 1: √ 0, × 0, not checked 4\n"},
    };
    for (const auto& d : dead) {
        SCOPED_TRACE(d.proxy);
        const CliRun failed = submit(d.proxy, path("kept.txt"));
        EXPECT_EQ(failed.exitCode, d.exitCode) << failed.err;
        EXPECT_NE(failed.out.find(d.summary), std::string::npos) << failed.out;
        // Not one row is blamed: the report has no ×, and --only-success keeps every template.
        const std::map<std::string, std::string> marks =
            marksByTemplate(path("report.jsonl"), "mine.example");
        EXPECT_EQ(marks.size(), 4u);
        for (const auto& [row, mark] : marks)
            EXPECT_EQ(mark, "not checked") << row;
        EXPECT_EQ(TempDir::read(path("kept.txt")), TempDir::read(templates)) << failed.out << failed.err;
    }
    // The history holds the one run that reached the services, so prune keeps everything.
    const CliRun pruned = runCli({"prune", "--templates", templates, "--failed-runs", "2", "--save",
                                  path("pruned.txt"), "--db", database});
    ASSERT_EQ(pruned.exitCode, 0) << pruned.err;
    EXPECT_EQ(pruned.out, "dropped 0 of 4 templates, wrote " + path("pruned.txt") + "\n");
    EXPECT_EQ(TempDir::read(path("pruned.txt")), TempDir::read(templates));
    const CliRun history = runCli({"history", "--db", database, "--csv"});
    ASSERT_EQ(history.exitCode, 0) << history.err;
    EXPECT_NE(history.out.find(lines.front() + ",1,1,1.0000,"), std::string::npos) << history.out;
}

} // namespace
} // namespace tavrin::cli
