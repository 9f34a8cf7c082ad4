// tavrin-cli convert, run in-process: lists of other tools written as a library, --token and
// --dedupe, and bad input that leaves every file as it was.
#include "cli/cli.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"
#include "text/encoding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace tavrin::cli {
namespace {

using testing_support::CliRun;
using testing_support::runCli;
using testing_support::TempDir;
using text::utf8ToGbk;

class CliConvert : public testing::Test
{
protected:
    std::string path(const char* name) const { return (dir / name).string(); }

    TempDir dir;
};

TEST_F(CliConvert, WritesAnyListAsAGbkLibraryAndSaysWhatItSkipped)
{
    const std::string in = dir.write("list.json", R"([
        {"name": "whois", "url": "http://whois.example/{{DOMAIN}}"},
        "http://查询.example/?q=[ENCODE_HOST]",
        "http://stats.example/{{ID}}", "http://emoji.example/😀", {"name": "no url"}, "", "  "
    ])")
                               .string();
    const CliRun result = runCli({"convert", in, path("url.txt")});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(TempDir::read(path("url.txt")),
              utf8ToGbk("http://whois.example/{$url}\r\nhttp://查询.example/?q={$url}\r\n"));
    EXPECT_EQ(result.out,
              "wrote 2 templates to " + path("url.txt") +
                  "\n5 skipped: 1 with a placeholder that cannot be mapped, 1 with characters GBK "
                  "cannot hold, 3 not a template\n");
    EXPECT_EQ(result.err, "");
}

TEST_F(CliConvert, TokenAndDedupeTurnASampleHostIntoThePlaceholderOnce)
{
    // A list with a sample host in every line, written by another tool with LF line ends; the
    // library's own "格式如：" marker goes as on import.
    const std::string in = dir.write("sample.txt", "http://whois.example.net/Sample.Example\n"
                                                   "http://rank.example.org/?site=sample.example&from=whois\n"
                                                   "http://whois.example.net/SAMPLE.example\n"
                                                   "http://www.sample.example/about\n"
                                                   "格式如：http://a.example/{$url}\n")
                               .string();
    const CliRun result = runCli({"convert", in, in, "--token", "sample.example", "--dedupe"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(TempDir::read(in), "http://whois.example.net/{$url}\r\n"
                                 "http://rank.example.org/?site={$url}&from=whois\r\n"
                                 "http://www.sample.example/about\r\n"
                                 "http://a.example/{$url}\r\n")
        << "OUT may be IN: it is replaced once the library is whole";
    EXPECT_EQ(result.out, "wrote 4 templates to " + in +
                              "\nduplicates dropped: 1\n1 line still holds sample.example; check it\n");

    // Converting the library again changes nothing.
    const CliRun again = runCli({"convert", in, path("again.txt")});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(TempDir::read(path("again.txt")), TempDir::read(in));
}

// Where the sample host is not a host of its own, it stays, and the lines it stays in are
// counted (in any letter case): a list may write the host in a way no rule foresaw.
TEST_F(CliConvert, TokenSaysHowManyLinesStillHoldTheSampleHost)
{
    const struct
    {
        const char* name;
        std::string list;
        std::string written;
        std::string note;
    } cases[] = {
        {"behind percent-escapes",
         "http://a.example/?q=site%3aexample.com\nhttp://b.example/?u=http%3A%2F%2FExample.Com%2F\n"
         "http://c.example/go?q%3dexample.com\n",
         "http://a.example/?q=site%3a{$url}\r\nhttp://b.example/?u=http%3A%2F%2F{$url}%2F\r\n"
         "http://c.example/go?q%3d{$url}\r\n",
         ""},
        {"another host kept", "http://a.example/example.com.cn\nhttp://b.example/example.com.\n",
         "http://a.example/example.com.cn\r\nhttp://b.example/{$url}.\r\n",
         "1 line still holds example.com; check it\n"},
        {"several kept, in any letter case",
         "http://whois.EXAMPLE.com/example.com\nhttp://a.example/myexample.com\n"
         "http://b.example/Example.Com-x\nhttp://c.example/example.com\n",
         "http://whois.EXAMPLE.com/{$url}\r\nhttp://a.example/myexample.com\r\n"
         "http://b.example/Example.Com-x\r\nhttp://c.example/{$url}\r\n",
         "3 lines still hold example.com; check them\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string in = dir.write("list.txt", c.list).string();
        const CliRun result = runCli({"convert", in, path("out.txt"), "--token", "example.com"});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(TempDir::read(path("out.txt")), c.written);
        const std::size_t lines =
            static_cast<std::size_t>(std::count(c.written.begin(), c.written.end(), '\n'));
        EXPECT_EQ(result.out,
                  "wrote " + std::to_string(lines) + " templates to " + path("out.txt") + "\n" + c.note);
    }
}

TEST_F(CliConvert, BadInputExitsWithTwoAndWritesNothing)
{
    const std::string broken =
        dir.write("broken.json", "[\n  \"http://a.example/{{HOST}}\",\n  oops\n]").string();
    const std::string ids =
        dir.write("ids.txt", "http://a.example/{{ID}}\nhttp://b.example/{{ID}}\n").string();
    const std::string good = dir.write("good.txt", "http://a.example/{$url}\r\n").string();
    const struct
    {
        const char* name;
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {"broken JSON",
         {"convert", broken, path("out.txt")},
         "tavrin-cli: cannot read the template file " + broken +
             " (not valid JSON: line 3, column 3: syntax error while parsing value - invalid literal; last "
             "read: "
             "'\"http://a.example/{{HOST}}\",<U+000A>  o')\n"},
        {"nothing usable",
         {"convert", ids, path("out.txt")},
         "tavrin-cli: no template in " + ids +
             " can be used (2 skipped: 2 with a placeholder that cannot be mapped)\n"},
        {"missing input",
         {"convert", path("missing.txt"), path("out.txt")},
         "tavrin-cli: cannot read the template file " + path("missing.txt") + "\n"},
        {"a token that is no host",
         {"convert", good, path("out.txt"), "--token", "http://x/"},
         "tavrin-cli: --token takes a host name such as example.com\n"},
        {"an empty token",
         {"convert", good, path("out.txt"), "--token", ""},
         "tavrin-cli: --token takes a host name such as example.com\n"},
        {"no output", {"convert", good}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun result = runCli(c.arguments);
        EXPECT_EQ(result.exitCode, 2);
        if (!c.message.empty()) {
            EXPECT_EQ(result.err, c.message);
        }
        EXPECT_EQ(result.out, "");
        EXPECT_FALSE(std::filesystem::exists(path("out.txt")));
    }
    EXPECT_EQ(TempDir::read(broken), "[\n  \"http://a.example/{{HOST}}\",\n  oops\n]");
}

TEST_F(CliConvert, AFailedWriteExitsWithOneAndKeepsTheOldFile)
{
    const std::string in = dir.write("in.txt", "http://a.example/{$url}\r\n").string();
    const std::string target = (dir / "missing" / "out.txt").string();
    const CliRun result = runCli({"convert", in, target});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind("tavrin-cli: cannot write " + target + " (", 0), 0u) << result.err;
    EXPECT_EQ(TempDir::read(in), "http://a.example/{$url}\r\n");
}

} // namespace
} // namespace tavrin::cli
