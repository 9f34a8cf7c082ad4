// tavrin-cli fetch, run in-process against string streams: the header text, the body length,
// the verdict with the test that decided it, and the exit codes.
#include "cli/cli.h"
#include "support/cli_run.h"
#include "support/local_server.h"
#include "support/raw_request.h"
#include "support/raw_server.h"

#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace tavrin::cli {
namespace {

using testing_support::CliRun;
using testing_support::LocalServer;
using testing_support::RawRequest;
using testing_support::RawServer;
using testing_support::runCli;

struct VerdictCase
{
    std::string label;
    std::string path;
    std::string verdictLine;
    std::string bodyLengthLine;
};

void PrintTo(const VerdictCase& c, std::ostream* os)
{
    *os << c.label;
}

class CliVerdictTest : public testing::TestWithParam<VerdictCase>
{
protected:
    static void SetUpTestSuite()
    {
        server_ = new LocalServer;
        auto& routes = server_->routes();
        routes.Get("/ok", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html>fine</html>", "text/html");
        });
        routes.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("gone", "text/html");
        });
        routes.Get("/refresh", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<meta http-equiv=\"refresh\" content=\"0;url=/\">", "text/html");
        });
        routes.Get("/error-page", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<a href=\"res://shdoclc.dll/navcancl.htm\">", "text/html");
        });
        server_->start();
    }
    static void TearDownTestSuite()
    {
        delete server_;
        server_ = nullptr;
    }

    static LocalServer* server_;
};

LocalServer* CliVerdictTest::server_ = nullptr;

TEST_P(CliVerdictTest, PrintsHeaderLengthAndVerdict)
{
    const VerdictCase& c = GetParam();
    const CliRun result = runCli({"fetch", server_->url(c.path), "--timeout", "5"});
    EXPECT_EQ(result.exitCode, kExitOk) << result.err;
    EXPECT_EQ(result.out.rfind("HTTP/1.1 ", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("\r\n\r\n" + c.bodyLengthLine + "\n" + c.verdictLine + "\n"), std::string::npos)
        << result.out;
}

INSTANTIATE_TEST_SUITE_P(
    Pages, CliVerdictTest,
    testing::Values(VerdictCase{"Success", "/ok", "√", "body length: 17 bytes"},
                    VerdictCase{"NotFound", "/missing", "× 404 in header", "body length: 4 bytes"},
                    VerdictCase{"MetaRefresh", "/refresh", "× meta refresh", "body length: 45 bytes"},
                    VerdictCase{"BrowserErrorPage", "/error-page", "× browser error page",
                                "body length: 41 bytes"}),
    [](const testing::TestParamInfo<VerdictCase>& row) { return row.param.label; });

TEST(CliFetch, NoResponseIsAVerdictWithItsReason)
{
    const CliRun result = runCli({"fetch", "http://no-such-host.invalid/", "--timeout", "5"});
    EXPECT_EQ(result.exitCode, kExitOk);
    EXPECT_EQ(result.out.rfind("no response: ", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("\nbody length: 0 bytes\n× no response\n"), std::string::npos) << result.out;
}

TEST(CliFetch, TimeLimitIsReported)
{
    const RawServer server = RawServer::silent();
    const CliRun result = runCli({"fetch", server.url("/"), "--timeout", "1"});
    EXPECT_EQ(result.exitCode, kExitOk);
    EXPECT_EQ(result.out, "no response within 1 s\nbody length: 0 bytes\n× no response\nattempts: 1\n");
}

TEST(CliFetch, PassesTheRequestOptionsThrough)
{
    const RawServer server = RawServer::replying("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    // --data without --method makes a POST.
    const CliRun result = runCli({"fetch", server.url("/form"), "--referer", "http://ref.example/",
                                  "--accept", "text/html", "--data", "name=中文"});
    EXPECT_EQ(result.exitCode, kExitOk) << result.err;
    ASSERT_EQ(server.requests().size(), 1u);
    const RawRequest request(server.requests().front());
    EXPECT_EQ(request.lines.front(), "POST /form HTTP/1.1");
    EXPECT_TRUE(request.has("Referer: http://ref.example/"));
    EXPECT_TRUE(request.has("Accept: text/html"));
    // The terminal's UTF-8 becomes the program's GBK.
    EXPECT_EQ(request.body, "name=\xD6\xD0\xCE\xC4");
}

TEST(CliFetch, ErrorStatusesFailAndBusyServicesAreAskedAgain)
{
    LocalServer server;
    server.routes().Get(R"(/status/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        res.status = std::stoi(req.matches[1]);
        res.set_content("<html>an error page that says nothing</html>", "text/html");
    });
    server.start();
    const struct
    {
        int status;
        int attempts;
    } cases[] = {{403, 1}, {410, 1}, {429, 3}, {500, 1}, {502, 3}, {503, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        const CliRun result =
            runCli({"fetch", server.url("/status/" + std::to_string(c.status)), "--timeout", "10"});
        EXPECT_EQ(result.exitCode, kExitOk) << result.err;
        EXPECT_NE(result.out.find("\n× HTTP " + std::to_string(c.status) + "\n"), std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find("\nattempts: " + std::to_string(c.attempts) + "\n"), std::string::npos)
            << result.out;
    }
}

TEST(CliFetch, StricterRulesJudgeThePageAboutTheSite)
{
    LocalServer server;
    const auto info = [](const httplib::Request& req, httplib::Response& res) {
        res.set_content("<html><head><title>Info</title></head><body>About " + req.get_param_value("q") +
                            "</body></html>",
                        "text/html");
    };
    server.routes().Get("/info", info);
    // The same page, but any host other than the site is refused.
    server.routes().Get("/guarded", [&info](const httplib::Request& req, httplib::Response& res) {
        info(req, res);
        if (req.get_param_value("q") != "www.mine.example")
            res.status = 403;
    });
    server.start();
    const struct
    {
        const char* path;
        std::vector<std::string> options;
        std::string verdictLine;
        // What the baseline rule made of the page; nothing when it was not applied.
        std::string controlLine;
    } cases[] = {
        {"/info", {}, "√", ""},
        {"/info", {"--require-mention"}, "√", ""},
        {"/info", {"--require-link"}, "× no link to site", ""},
        {"/info",
         {"--baseline"},
         "× same page for any site",
         "control page: the same as this page once each host is blanked out"},
        {"/info", {"--baseline", "--require-link"}, "× no link to site", ""},
        {"/guarded",
         {"--baseline"},
         "√",
         "control page: could not be read (no answer, an error status, or cut short); the baseline rule was "
         "not applied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.path << testing::PrintToString(c.options));
        std::vector<std::string> arguments = {"fetch",     server.url(c.path + std::string("?q={$url}")),
                                              "--site",    "http://www.Mine.example/",
                                              "--timeout", "10"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const CliRun result = runCli(arguments);
        EXPECT_EQ(result.exitCode, kExitOk) << result.err;
        // A URL holding the placeholder is expanded with the site's host.
        EXPECT_NE(
            result.out.find("\nfinal URL: " + server.url(c.path + std::string("?q=www.mine.example")) + "\n"),
            std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find("\n" + c.verdictLine + "\n"), std::string::npos) << result.out;
        EXPECT_NE(result.out.find("\ntitle: Info\nmentions site: yes\nlinks to site: no\n" +
                                  (c.controlLine.empty() ? std::string() : c.controlLine + "\n")),
                  std::string::npos)
            << result.out;
        EXPECT_EQ(result.out.find("control page:") != std::string::npos, !c.controlLine.empty())
            << result.out;
    }
    const std::string page = server.url("/info?q={$url}");

    // The rules need to know the site.
    for (const char* rule : {"--require-mention", "--require-link", "--baseline"}) {
        const CliRun result = runCli({"fetch", page, rule});
        EXPECT_EQ(result.exitCode, kExitBadArguments) << rule;
        EXPECT_NE(result.err.find("need --site"), std::string::npos) << result.err;
    }
}

TEST(CliFetch, AChineseSiteIsAskedForInItsAsciiFormAndFoundInEitherForm)
{
    LocalServer server;
    server.routes().Get("/info", [](const httplib::Request& req, httplib::Response& res) {
        const bool asked = req.get_param_value("q") == "xn--fsqu00a.xn--0zwm56d";
        res.set_content(asked
                            ? "<title>例子</title><p>关于 例子.测试</p><a href='http://www.例子.测试/'>站</a>"
                            : "<title>?</title>",
                        "text/html; charset=utf-8");
    });
    server.start();
    const CliRun result = runCli({"fetch", server.url("/info?q={$url}"), "--site", "http://例子。测试/",
                                  "--require-mention", "--require-link", "--timeout", "10"});
    EXPECT_EQ(result.exitCode, kExitOk) << result.err;
    EXPECT_NE(result.out.find("\n√\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\ntitle: 例子\nmentions site: yes\nlinks to site: yes\n"), std::string::npos)
        << result.out;
}

TEST(CliFetch, BadArgumentsExitWithTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"fetch"},
        {"frobnicate"},
        {"fetch", "http://127.0.0.1:9/", "--timeout", "soon"},
        {"fetch", "http://127.0.0.1:9/", "--timeout", "-3"},
        {"fetch", "http://127.0.0.1:9/", "--method", "PUT"},
        {"fetch", "http://127.0.0.1:9/", "--bogus"},
        {"fetch", "http://127.0.0.1:9/", "--site", "not a site"},
        {"fetch", "http://127.0.0.1:9/", "--site", "ftp://a.example", "--require-mention"},
    };
    for (const auto& arguments : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const CliRun result = runCli(arguments);
        EXPECT_EQ(result.exitCode, kExitBadArguments);
        EXPECT_FALSE(result.err.empty());
        EXPECT_EQ(result.out, "");
    }
}

TEST(CliFetch, HelpNamesTheFetchCommand)
{
    const CliRun result = runCli({"--help"});
    EXPECT_EQ(result.exitCode, kExitOk);
    EXPECT_NE(result.out.find("fetch"), std::string::npos);
    const CliRun fetchHelp = runCli({"fetch", "--help"});
    EXPECT_EQ(fetchHelp.exitCode, kExitOk);
    EXPECT_NE(fetchHelp.out.find("--timeout"), std::string::npos);
}

} // namespace
} // namespace tavrin::cli
