// tavrin-cli ping, run in-process against ping services and an IndexNow endpoint of the test's
// own on 127.0.0.1: every kind of answer, the requests as they arrive, and bad arguments.
#include "cli/cli.h"
#include "cli/interrupt.h"
#include "support/cli_run.h"
#include "support/local_server.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <future>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace tavrin::cli {
namespace {

using testing_support::CliRun;
using testing_support::linesOf;
using testing_support::LocalServer;
using testing_support::RawServer;
using testing_support::runCli;
using testing_support::TempDir;

std::string pingReply(bool flerror, const std::string& message)
{
    return std::string(R"(<?xml version="1.0"?><methodResponse><params><param><value><struct>)") +
           "<member><name>flerror</name><value><boolean>" + (flerror ? "1" : "0") +
           "</boolean></value></member>" + "<member><name>message</name><value><string>" + message +
           "</string></value></member>" + "</struct></value></param></params></methodResponse>";
}

// A request as a stand-in received it.
struct Received
{
    std::string path;
    std::string contentType;
    std::string userAgent;
    std::string body;
};

class CliPing : public testing::Test
{
protected:
    void SetUp() override
    {
        auto& routes = server.routes();
        const auto reply = [this](const std::string& content) {
            return [this, content](const httplib::Request& request, httplib::Response& response) {
                record(request);
                response.set_content(content, "text/xml");
            };
        };
        routes.Post("/ok", reply(pingReply(false, "Thanks for the ping.")));
        routes.Post("/refused", reply(pingReply(true, "Site is not listed")));
        routes.Post("/fault", reply(R"(<?xml version="1.0"?><methodResponse><fault><value><struct>)"
                                    "<member><name>faultCode</name><value><int>-32601</int></value></member>"
                                    "<member><name>faultString</name><value>no such method</value></member>"
                                    "</struct></value></fault></methodResponse>"));
        routes.Post("/broken", reply("<methodResponse>\n<params>\n</methodResponse>"));
        routes.Post("/error", [this](const httplib::Request& request, httplib::Response& response) {
            record(request);
            response.status = 500;
            response.set_content(pingReply(false, "a 500 is no success"), "text/xml");
        });
        routes.Post("/moved", [this](const httplib::Request& request, httplib::Response& response) {
            record(request);
            response.set_redirect("/ok", 301);
        });
        routes.Post("/indexnow", [this](const httplib::Request& request, httplib::Response& response) {
            record(request);
            response.status = 202;
        });
        routes.Post("/indexnow-refusing",
                    [this](const httplib::Request& request, httplib::Response& response) {
                        record(request);
                        response.status = 403;
                    });
        server.start();
    }

    // The server's threads are joined before the requests they recorded go away.
    void TearDown() override { server.stop(); }

    void record(const httplib::Request& request)
    {
        const std::lock_guard lock(mutex);
        received.push_back({request.path, request.get_header_value("Content-Type"),
                            request.get_header_value("User-Agent"), request.body});
    }

    std::vector<Received> requests()
    {
        const std::lock_guard lock(mutex);
        return received;
    }

    std::string endpoints(const std::vector<std::string>& urls)
    {
        std::string file = "# stand-ins of the test\r\n\r\n";
        for (const std::string& url : urls)
            file += "  " + url + "\r\n";
        return dir.write("ping.txt", file).string();
    }

    LocalServer server;
    TempDir dir;
    std::mutex mutex;
    std::vector<Received> received; // guarded by mutex
};

TEST_F(CliPing, PrintsOneLinePerServiceWithTheReason)
{
    const RawServer silent = RawServer::silent();
    const RawServer resetting = RawServer::resetting();
    const std::vector<std::string> services = {
        server.url("/ok"),    server.url("/refused"), server.url("/fault"), server.url("/broken"),
        server.url("/error"), server.url("/moved"),   silent.url("/RPC2"),  resetting.url("/RPC2"),
    };
    const CliRun result =
        runCli({"ping", "--site", "www.Example.org", "--endpoints", endpoints(services), "--timeout", "1",
                "--indexnow-key", "abcd-1234", "--indexnow-endpoint", server.url("/indexnow")});
    EXPECT_EQ(result.exitCode, 1) << "some services failed";
    EXPECT_EQ(result.err, "");
    const std::vector<std::string> lines = linesOf(result.out);
    ASSERT_EQ(lines.size(), 9u) << result.out;
    EXPECT_EQ(lines[0], "√ " + services[0]);
    EXPECT_EQ(lines[1], "× " + services[1] + " Site is not listed");
    EXPECT_EQ(lines[2], "× " + services[2] + " fault -32601: no such method");
    EXPECT_EQ(lines[3], "× " + services[3] + " not XML at line 3: mismatched tag");
    EXPECT_EQ(lines[4], "× " + services[4] + " HTTP 500");
    EXPECT_EQ(lines[5], "√ " + services[5]) << "a moved service gets the same POST";
    EXPECT_EQ(lines[6], "× " + services[6] + " no response within 1 s");
    EXPECT_EQ(lines[7].rfind("× " + services[7] + " no response: ", 0), 0u) << lines[7];
    EXPECT_EQ(lines[8], "√ " + server.url("/indexnow"));

    // Every ping is the same weblogUpdates.ping, named after the host, with the site's address
    // (http:// put in front, the host in lower case).
    int pings = 0;
    for (const Received& request : requests()) {
        SCOPED_TRACE(request.path);
        EXPECT_EQ(request.userAgent, "Tavrin/2.0");
        if (request.path == "/indexnow")
            continue;
        ++pings;
        EXPECT_EQ(request.contentType, "text/xml");
        EXPECT_NE(request.body.find("<methodName>weblogUpdates.ping</methodName><params>"
                                    "<param><value><string>www.example.org</string></value></param>"
                                    "<param><value><string>http://www.example.org</string></value></param>"
                                    "</params>"),
                  std::string::npos)
            << request.body;
    }
    EXPECT_EQ(pings, 7) << "the moved service is asked twice";
}

TEST_F(CliPing, AFeedMakesItAnExtendedPingAndIndexNowGetsEveryUrl)
{
    const CliRun result =
        runCli({"ping", "--site", "https://www.example.org/", "--name", "My <Site>", "--feed",
                "https://www.example.org/feed.xml", "--endpoints", endpoints({server.url("/ok")}),
                "--indexnow-key", "abcd1234", "--indexnow-endpoint", server.url("/indexnow"), "--url",
                "https://www.example.org/new.html"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(linesOf(result.out),
              (std::vector<std::string>{"√ " + server.url("/ok"), "√ " + server.url("/indexnow")}));

    const std::vector<Received> seen = requests();
    ASSERT_EQ(seen.size(), 2u);
    for (const Received& request : seen) {
        if (request.path == "/ok") {
            EXPECT_NE(
                request.body.find("<methodName>weblogUpdates.extendedPing</methodName><params>"
                                  "<param><value><string>My &lt;Site&gt;</string></value></param>"
                                  "<param><value><string>https://www.example.org/</string></value></param>"
                                  "<param><value><string>https://www.example.org/</string></value></param>"
                                  "<param><value><string>https://www.example.org/feed.xml</string></value>"
                                  "</param></params>"),
                std::string::npos)
                << request.body;
        } else {
            EXPECT_EQ(request.contentType, "application/json; charset=utf-8");
            EXPECT_EQ(nlohmann::json::parse(request.body),
                      (nlohmann::json{
                          {"host", "www.example.org"},
                          {"key", "abcd1234"},
                          {"urlList", {"https://www.example.org/", "https://www.example.org/new.html"}}}));
        }
    }
}

TEST_F(CliPing, AChineseSiteGoesOutInItsAsciiFormWithoutUserInformation)
{
    const CliRun result = runCli({"ping", "--site", "https://me:secret@例子。测试/", "--endpoints",
                                  endpoints({server.url("/ok")}), "--indexnow-key", "abcd1234",
                                  "--indexnow-endpoint", server.url("/indexnow"), "--url",
                                  "https://例子.测试/新.html", "--url", "xn--fsqu00a.xn--0zwm56d/b"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    for (const Received& request : requests()) {
        SCOPED_TRACE(request.path);
        EXPECT_EQ(request.body.find("secret"), std::string::npos) << request.body;
        if (request.path == "/ok") {
            EXPECT_NE(
                request.body.find("<param><value><string>xn--fsqu00a.xn--0zwm56d</string></value></param>"
                                  "<param><value><string>https://xn--fsqu00a.xn--0zwm56d/</string>"),
                std::string::npos)
                << request.body;
        } else {
            EXPECT_EQ(nlohmann::json::parse(request.body),
                      (nlohmann::json{
                          {"host", "xn--fsqu00a.xn--0zwm56d"},
                          {"key", "abcd1234"},
                          {"urlList",
                           {"https://xn--fsqu00a.xn--0zwm56d/", "https://xn--fsqu00a.xn--0zwm56d/新.html",
                            "http://xn--fsqu00a.xn--0zwm56d/b"}}}));
        }
    }
    EXPECT_EQ(requests().size(), 2u);
}

TEST_F(CliPing, ARefusedIndexNowSubmissionSaysWhy)
{
    const CliRun result =
        runCli({"ping", "--site", "www.example.org", "--endpoints", endpoints({server.url("/ok")}),
                "--indexnow-key", "abcd1234", "--indexnow-endpoint", server.url("/indexnow-refusing")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(linesOf(result.out),
              (std::vector<std::string>{"√ " + server.url("/ok"), "× " + server.url("/indexnow-refusing") +
                                                                      " HTTP 403 (key not valid)"}));
}

TEST_F(CliPing, BadArgumentsExitWithTwoAndContactNobody)
{
    const std::string good = endpoints({server.url("/ok")});
    const std::string missing = (dir / "missing.txt").string();
    const std::string wrong =
        dir.write("wrong.txt", "# services\n" + server.url("/ok") + "\nrpc.example/RPC2\n").string();
    const std::string comments = dir.write("comments.txt", "# nothing yet\n\n").string();
    const struct
    {
        const char* name;
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {"no site", {"ping", "--endpoints", good}, ""},
        {"a site without a host",
         {"ping", "--site", "http://", "--endpoints", good},
         "tavrin-cli: --site \"http://\": no host in the address\n"},
        {"an endpoint that is no web address",
         {"ping", "--site", "a.example", "--endpoints", good, "--indexnow-key", "abcd1234",
          "--indexnow-endpoint", "ftp://127.0.0.1/indexnow"},
         "tavrin-cli: --indexnow-endpoint \"ftp://127.0.0.1/indexnow\": not an http or https URL\n"},
        {"an endpoint without a host",
         {"ping", "--site", "a.example", "--endpoints", good, "--indexnow-key", "abcd1234",
          "--indexnow-endpoint", "http:///indexnow"},
         "tavrin-cli: --indexnow-endpoint \"http:///indexnow\": not an http or https URL\n"},
        {"a URL of another host",
         {"ping", "--site", "a.example", "--endpoints", good, "--indexnow-key", "abcd1234", "--url",
          "http://a.example/fine", "--url", "http://b.example/x"},
         "tavrin-cli: --url \"http://b.example/x\": not a URL of the site's host a.example\n"},
        {"a URL of a subdomain",
         {"ping", "--site", "a.example", "--endpoints", good, "--indexnow-key", "abcd1234", "--url",
          "http://www.a.example/x"},
         "tavrin-cli: --url \"http://www.a.example/x\": not a URL of the site's host a.example\n"},
        {"a URL that is none",
         {"ping", "--site", "a.example", "--endpoints", good, "--indexnow-key", "abcd1234", "--url",
          "mailto:me@a.example"},
         "tavrin-cli: --url \"mailto:me@a.example\": the scheme must be http or https\n"},
        {"a bad key",
         {"ping", "--site", "a.example", "--endpoints", good, "--indexnow-key", "short"},
         "tavrin-cli: an IndexNow key is 8 to 128 letters a-z and A-Z, digits and dashes\n"},
        {"an IndexNow URL without a key",
         {"ping", "--site", "a.example", "--endpoints", good, "--url", "http://a.example/x"},
         "tavrin-cli: --indexnow-endpoint and --url need --indexnow-key\n"},
        {"a missing list",
         {"ping", "--site", "a.example", "--endpoints", missing},
         "tavrin-cli: cannot read the list of ping services " + missing + "\n"},
        {"a line that is no URL",
         {"ping", "--site", "a.example", "--endpoints", wrong},
         "tavrin-cli: not an http or https URL in " + wrong + " on line 3: rpc.example/RPC2\n"},
        {"comments only",
         {"ping", "--site", "a.example", "--endpoints", comments},
         "tavrin-cli: cannot read the list of ping services " + comments + " (no service in it)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun result = runCli(c.arguments);
        EXPECT_EQ(result.exitCode, 2);
        if (!c.message.empty()) {
            EXPECT_EQ(result.err, c.message);
        }
        EXPECT_EQ(result.out, "");
    }
    EXPECT_TRUE(requests().empty());
}

TEST_F(CliPing, CtrlCStopsTheWait)
{
    const RawServer silent = RawServer::silent();
    const std::string list = endpoints({silent.url("/RPC2")});
    auto running = std::async(std::launch::async, [&] {
        return runCli({"ping", "--site", "a.example", "--endpoints", list, "--timeout", "20"});
    });
    ASSERT_TRUE(silent.waitForRequests(1, std::chrono::seconds(10)));
    requestInterrupt();
    ASSERT_EQ(running.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const CliRun result = running.get();
    EXPECT_EQ(result.exitCode, 130);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(silent.waitForClientClose(std::chrono::seconds(5))) << "the request is dropped";
    clearInterrupt();
}

} // namespace
} // namespace tavrin::cli
