// tavrin-cli submit over several sites at once (--site A --site B, --sites FILE): every site's
// rows in one pass, the report and the history carrying the site, a summary per site; and the
// sites files that cannot be used.
#include "support/cli_run.h"
#include "support/local_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tavrin::cli {
namespace {

using testing_support::CliRun;
using testing_support::linesOf;
using testing_support::LocalServer;
using testing_support::runCli;
using testing_support::TempDir;

class CliSites : public testing::Test
{
protected:
    void SetUp() override
    {
        // The service lists a.example and knows nothing of b.example.
        server.routes().Get("/info", [this](const httplib::Request& req, httplib::Response& res) {
            const std::string site = req.get_param_value("q");
            {
                const std::lock_guard lock(mutex);
                asked.push_back(site);
            }
            res.status = site == "b.example" ? 404 : 200;
            res.set_content(site, "text/plain");
        });
        server.routes().Get("/gone", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("gone", "text/plain");
        });
        server.start();
        std::string file;
        for (int row = 0; row < 3; ++row)
            file += server.url("/info") + "?n=" + std::to_string(row) + "&q={$url}\r\n";
        templates = dir.write("url.txt", file).string();
    }
    void TearDown() override { server.stop(); }
    std::string path(const char* name) const { return (dir / name).string(); }

    LocalServer server;
    TempDir dir;
    std::string templates;
    std::mutex mutex;
    std::vector<std::string> asked; // guarded by mutex
};

TEST_F(CliSites, EverySiteGetsThePassSharingTheWorkers)
{
    const std::string sites =
        dir.write("sites.txt", "# my sites\r\n\r\nhttp://B.example/\r\na.example\r\n").string();
    const std::string database = path("history.sqlite");
    const CliRun result = runCli({"submit", "--site", "a.example", "--sites", sites, "--templates", templates,
                                  "--threads", "2", "--timeout", "5", "--json", path("report.jsonl"), "--db",
                                  database, "--save", path("saved.txt"), "--only-success"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto out = linesOf(result.out);
    ASSERT_GE(out.size(), 5u) << result.out;
    EXPECT_EQ(out[0], "loaded 3 templates from " + templates);
    EXPECT_EQ(out[out.size() - 4], "pass 1: √ 3, × 3, not checked 0");
    EXPECT_EQ(out[out.size() - 3], "site a.example: √ 3, × 0, not checked 0");
    EXPECT_EQ(out[out.size() - 2], "site b.example: √ 0, × 3, not checked 0");
    EXPECT_EQ(out[out.size() - 1], "saved 3 templates to " + path("saved.txt"));
    {
        const std::lock_guard lock(mutex);
        std::map<std::string, int> bySite;
        for (const std::string& site : asked)
            ++bySite[site];
        EXPECT_EQ(bySite, (std::map<std::string, int>{{"a.example", 3}, {"b.example", 3}}));
    }
    // Every report line names its site.
    std::map<std::string, std::string> marks;
    for (const std::string& line : linesOf(TempDir::read(dir / "report.jsonl"))) {
        const nlohmann::json row = nlohmann::json::parse(line);
        marks[row.at("site").get<std::string>() + " " + row.at("url").get<std::string>()] = row.at("mark");
    }
    EXPECT_EQ(marks.size(), 6u);
    EXPECT_EQ(marks[std::string("b.example ") + server.url("/info") + "?n=1&q=b.example"], "×");
    // Each template once; √ for any site is √.
    EXPECT_EQ(TempDir::read(dir / "saved.txt"), TempDir::read(templates));
    // Each site a run of its own in the history.
    const CliRun history = runCli({"history", "--db", database, "--site", "b.example", "--csv"});
    const auto rows = linesOf(history.out);
    ASSERT_EQ(rows.size(), 4u) << history.out;
    EXPECT_TRUE(rows[1].ends_with(",1,0,0.0000,,1,1")) << rows[1];
    EXPECT_TRUE(linesOf(runCli({"history", "--db", database, "--site", "a.example", "--csv"}).out)[1].find(
                    ",1,1,1.0000,") != std::string::npos);
}

TEST_F(CliSites, SavingOnlySuccessesDropsATemplateOnlyWhenEverySiteFailedIt)
{
    // Listed for a.example only; gone for every site; listed for a.example only.
    const std::string first = server.url("/info") + "?n=0&q={$url}\r\n";
    const std::string gone = server.url("/gone") + "?q={$url}\r\n";
    const std::string last = server.url("/info") + "?n=1&q={$url}\r\n";
    const std::string file = dir.write("three.txt", first + gone + last).string();
    const CliRun result =
        runCli({"submit", "--site", "a.example", "--site", "b.example", "--templates", file, "--threads", "2",
                "--timeout", "5", "--no-history", "--save", path("saved.txt"), "--only-success"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(TempDir::read(dir / "saved.txt"), first + last);
    EXPECT_TRUE(
        result.out.ends_with("saved 2 templates to " + path("saved.txt") + " (1 marked × left out)\n"))
        << result.out;
}

TEST_F(CliSites, EveryFormOfAnAddressGivesTheHostInItsAsciiForm)
{
    // What a user may type, and the host the templates then get: user information dropped,
    // letters lowered, a Chinese name (with the dots a Chinese keyboard types, and full-width
    // letters) in punycode.
    const struct
    {
        std::string site;
        std::string host;
    } cases[] = {
        {"  http://user:pw@Mine.Example:8080/path?q=1#top  ", "mine.example"},
        {"HTTPS://Mine.Example", "mine.example"},
        {"例子.测试", "xn--fsqu00a.xn--0zwm56d"},
        {"https://中文.com/", "xn--fiq228c.com"},
        {"http://例子。测试:8080/路径", "xn--fsqu00a.xn--0zwm56d"},
        {"ＷＷＷ．例子．测试", "www.xn--fsqu00a.xn--0zwm56d"},
        {"xn--fsqu00a.xn--0zwm56d", "xn--fsqu00a.xn--0zwm56d"},
        {"127.0.0.1:8080", "127.0.0.1"},
        {"localhost", "localhost"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.site);
        {
            const std::lock_guard lock(mutex);
            asked.clear();
        }
        const CliRun result = runCli({"submit", "--site", c.site, "--templates", templates, "--threads", "2",
                                      "--timeout", "5", "--no-history"});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const std::lock_guard lock(mutex);
        EXPECT_EQ(asked, std::vector<std::string>(3, c.host));
    }
}

TEST_F(CliSites, ASiteTypedTwoWaysIsOneSite)
{
    const std::string sites = dir.write("sites.txt", "例子。测试\r\nhttp://b.example\r\n").string();
    const CliRun result =
        runCli({"submit", "--site", "http://user@xn--fsqu00a.xn--0zwm56d/", "--sites", sites, "--templates",
                templates, "--threads", "2", "--timeout", "5", "--no-history"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto out = linesOf(result.out);
    ASSERT_GE(out.size(), 2u) << result.out;
    EXPECT_EQ(out[out.size() - 2], "site xn--fsqu00a.xn--0zwm56d: √ 3, × 0, not checked 0");
    EXPECT_EQ(out[out.size() - 1], "site b.example: √ 0, × 3, not checked 0");
}

TEST_F(CliSites, AnAddressThatNamesNoSiteIsRefusedWithTheReason)
{
    const struct
    {
        std::string site;
        std::string reason;
    } cases[] = {
        {"http://", "no host in the address"},
        {"not a site", "a blank or control character inside the address"},
        {"ftp://a.example", "the scheme must be http or https"},
        {"a..b.example", "an empty label in the host name (two dots in a row, or a dot first)"},
        {"a_b.example", "a character that cannot be in a host name"},
        {"a.example:99999", "the port must be a number from 1 to 65535"},
        {"intranet", "not a site address (the host name has no dot, as in www.example.com)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.site);
        for (const char* command : {"submit", "ping", "fetch"}) {
            SCOPED_TRACE(command);
            std::vector<std::string> arguments = {command, "--site", c.site};
            if (std::string(command) == "submit")
                arguments.insert(arguments.end(), {"--templates", templates, "--no-history"});
            else if (std::string(command) == "ping")
                arguments.insert(arguments.end(),
                                 {"--endpoints", dir.write("ping.txt", server.url("/info")).string()});
            else
                arguments.push_back(server.url("/info?q={$url}"));
            const CliRun result = runCli(arguments);
            EXPECT_EQ(result.exitCode, 2);
            EXPECT_EQ(result.err, "tavrin-cli: --site \"" + c.site + "\": " + c.reason + "\n");
            EXPECT_EQ(result.out, "");
        }
    }
    const std::lock_guard lock(mutex);
    EXPECT_TRUE(asked.empty());
}

TEST_F(CliSites, ASitesFileThatCannotBeUsedIsRefused)
{
    const std::string junk =
        dir.write("junk.txt", "# sites\n\nhttp://a.example/\nnot a site\nb.example\n!!\nhttp:///\n").string();
    const std::string empty = dir.write("empty.txt", "# none yet\n\n").string();
    const std::string missing = path("missing.txt");
    // A binary file read as a list: its refused lines are not all listed.
    std::string bytes;
    for (int line = 0; line < 300; ++line)
        bytes += std::string("\x89PNG\0\x1A", 7) + std::to_string(line) + "\n";
    const std::string binary = dir.write("binary.png", bytes).string();
    const struct
    {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--sites", junk},
         "tavrin-cli: cannot read the list of sites " + junk +
             " (no site address on line 4, 6, 7; line 4: a blank or control character inside the address)\n"},
        {{"--sites", binary},
         "tavrin-cli: cannot read the list of sites " + binary +
             " (no site address on line 1, 2, 3, 4, 5 and 295 more; line 1: a blank or control character "
             "inside "
             "the address)\n"},
        {{"--sites", empty}, "tavrin-cli: cannot read the list of sites " + empty + " (no site in it)\n"},
        {{"--sites", missing}, "tavrin-cli: cannot read the list of sites " + missing + "\n"},
        {{}, "tavrin-cli: submit needs --site or --sites\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> arguments = {"submit",       "--templates", templates,
                                              "--no-history", "--json",      path("report.jsonl")};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const CliRun result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err, c.message);
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(std::filesystem::exists(dir / "report.jsonl"));
    }
    const std::lock_guard lock(mutex);
    EXPECT_TRUE(asked.empty());
}

} // namespace
} // namespace tavrin::cli
