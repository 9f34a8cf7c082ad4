// tavrin-cli submit --shard K/N: the shards of a split run together are the unsplit run, row for
// row and mark for mark; each records its shard; a split that cannot be is refused.
#include "support/cli_run.h"
#include "support/local_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <vector>

namespace tavrin::cli {
namespace {

using testing_support::CliRun;
using testing_support::linesOf;
using testing_support::LocalServer;
using testing_support::runCli;
using testing_support::TempDir;

class CliShard : public testing::Test
{
protected:
    void SetUp() override
    {
        // A path ending in an odd number is gone: the marks differ from row to row.
        server.routes().Get(R"(/page/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            const int number = std::stoi(req.matches[1]);
            res.status = number % 2 == 1 ? 404 : 200;
            res.set_content(number % 2 == 1 ? "gone" : "listed", "text/plain");
        });
        server.start();
        std::string file;
        for (int row = 0; row < kRows; ++row)
            file += server.url("/page/" + std::to_string(row * 7 % 11)) + "?n=" + std::to_string(row) +
                    "&q={$url}\r\n";
        templates = dir.write("url.txt", file).string();
    }
    void TearDown() override { server.stop(); }

    // The marks of a run by URL, from its JSON report, and each row's shard as reported.
    struct Marks
    {
        std::map<std::string, std::string> byUrl;
        std::vector<std::string> shards;
    };
    Marks run(const std::vector<std::string>& extra, const std::string& report)
    {
        std::vector<std::string> arguments = {
            "submit",    "--site", "mine.example", "--templates", templates,     "--threads", "3",
            "--timeout", "5",      "--json",       path(report),  "--no-history"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const CliRun result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        Marks marks;
        for (const std::string& line : linesOf(TempDir::read(dir / report))) {
            const nlohmann::json row = nlohmann::json::parse(line);
            EXPECT_TRUE(marks.byUrl.emplace(row.at("url"), row.at("mark")).second) << "twice: " << line;
            marks.shards.push_back(row.value("shard", ""));
        }
        return marks;
    }
    std::string path(const std::string& name) const { return (dir / name).string(); }

    static constexpr int kRows = 23;
    LocalServer server;
    TempDir dir;
    std::string templates;
};

TEST_F(CliShard, TheShardsTogetherAreTheUnsplitRun)
{
    const Marks whole = run({}, "whole.jsonl");
    ASSERT_EQ(whole.byUrl.size(), std::size_t{kRows});
    Marks together;
    for (int shard = 0; shard < 3; ++shard) {
        SCOPED_TRACE(shard);
        const std::string name = std::to_string(shard) + "/3";
        const Marks part = run({"--shard", name, "--save", path("saved" + std::to_string(shard) + ".txt")},
                               "part" + std::to_string(shard) + ".jsonl");
        for (const std::string& recorded : part.shards)
            EXPECT_EQ(recorded, name);
        // The shard's rows are those at positions K, K + N ...: their "n" tells the position.
        for (const auto& [url, mark] : part.byUrl) {
            const int position = std::stoi(url.substr(url.find("?n=") + 3));
            EXPECT_EQ(position % 3, shard) << url;
            EXPECT_TRUE(together.byUrl.emplace(url, mark).second) << "in two shards: " << url;
        }
        // --save writes the shard's templates, in their order.
        const auto saved = linesOf(TempDir::read(dir / ("saved" + std::to_string(shard) + ".txt")));
        ASSERT_EQ(saved.size(), part.byUrl.size());
        EXPECT_NE(saved.front().find("?n=" + std::to_string(shard) + "&"), std::string::npos)
            << saved.front();
    }
    EXPECT_EQ(together.byUrl, whole.byUrl);
    // A shard of one is the whole run.
    EXPECT_EQ(run({"--shard", "0/1"}, "one.jsonl").byUrl, whole.byUrl);
}

TEST_F(CliShard, TheHistoryKeepsTheShard)
{
    const std::string database = path("history.sqlite");
    ASSERT_EQ(runCli({"submit", "--site", "mine.example", "--templates", templates, "--timeout", "5",
                      "--shard", "2/5", "--db", database})
                  .exitCode,
              0);
    ASSERT_EQ(runCli({"report", "--last", "--html", path("report.html"), "--db", database}).exitCode, 0);
    EXPECT_NE(TempDir::read(dir / "report.html").find("<td>Shard</td><td>2/5</td>"), std::string::npos);
}

TEST_F(CliShard, ASplitThatCannotBeIsRefusedBeforeAnythingIsRead)
{
    const struct
    {
        const char* given;
        std::string why;
    } cases[] = {
        {"3/2", "names no shard: K counts from 0 and must be below N"},
        {"2/2", "names no shard: K counts from 0 and must be below N"},
        {"0/0", "splits the rows into no shards: N must be at least 1"},
        {"-1/2", "names no shard: K counts from 0 and must be below N"},
        {"1", "is not K/N with two whole numbers"},
        {"a/b", "is not K/N with two whole numbers"},
        {"1/2/3", "is not K/N with two whole numbers"},
        {"", "is not K/N with two whole numbers"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        const CliRun result = runCli({"submit", "--site", "mine.example", "--templates", path("missing.txt"),
                                      "--shard", c.given, "--json", path("report.jsonl"), "--no-history"});
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_EQ(result.err, "tavrin-cli: --shard " + std::string(c.given) + " " + c.why + "\n");
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(std::filesystem::exists(dir / "report.jsonl"));
    }
}

} // namespace
} // namespace tavrin::cli
