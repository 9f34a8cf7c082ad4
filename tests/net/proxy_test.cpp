// Requests through proxies of every kind --proxy names, all of them local stand-ins: HTTP
// proxies carry http addresses, SOCKS proxies carry https too (socks5h leaving the host name to
// the proxy); a proxy that is not there or that answers nonsense gives no response; a scheme the
// program does not know is refused before anything is sent.
#include "net/proxy_address.h"
#include "net/timed_fetch.h"
#include "net/tls_trust.h"
#include "support/cli_run.h"
#include "support/local_server.h"
#include "support/raw_server.h"
#include "support/socks_proxy.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace tavrin::net {
namespace {

using testing_support::CliRun;
using testing_support::LocalServer;
using testing_support::RawServer;
using testing_support::runCli;
using testing_support::SocksProxy;
using testing_support::testCertificates;

class ProxyKinds : public testing::Test
{
protected:
    void SetUp() override
    {
        setTrustedCertificates(testCertificates().authorityPem);
        for (LocalServer* server : {&web, &secureWeb}) {
            server->routes().Get("/page", [this](const httplib::Request&, httplib::Response& res) {
                ++pageRequests;
                res.set_content("listed", "text/html");
            });
            server->start();
        }
    }
    void TearDown() override { setTrustedCertificates({}); }

    // The verdict on the page through `proxy`, as `tavrin-cli fetch` prints it: the line after
    // the body length.
    static std::string verdictThrough(const std::string& proxy, const std::string& url, int seconds = 5)
    {
        const CliRun result = runCli({"fetch", url, "--proxy", proxy, "--timeout", std::to_string(seconds)});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        const std::size_t length = result.out.find("\nbody length: ");
        const std::size_t verdict = result.out.find('\n', length + 1) + 1;
        if (length == std::string::npos || verdict == 0)
            return result.out;
        return result.out.substr(verdict, result.out.find('\n', verdict) - verdict);
    }

    std::atomic<int> pageRequests{0};
    LocalServer web;
    LocalServer secureWeb{testCertificates().server.certificate.get(), testCertificates().server.key.get()};
};

TEST_F(ProxyKinds, SocksCarriesHttpAndHttps)
{
    const std::string plain = "127.0.0.1:" + std::to_string(web.port());
    const std::string secure = "localhost:" + std::to_string(secureWeb.port());
    const struct
    {
        const char* scheme;
        std::string url;
        std::string asked; // what the proxy was asked to connect to
    } cases[] = {
        {"socks4", "http://" + plain + "/page", plain},
        {"socks5", "http://" + plain + "/page", plain},
        // The name goes to the proxy unresolved: "www.site.test" exists nowhere else.
        {"socks5h", "http://www.site.test:" + std::to_string(web.port()) + "/page",
         "www.site.test:" + std::to_string(web.port())},
        {"socks5h", "https://" + secure + "/page", secure},
        {"SOCKS5H", "https://" + secure + "/page", secure},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.scheme) + " " + c.url);
        SocksProxy proxy;
        EXPECT_EQ(verdictThrough(proxy.address(c.scheme), c.url), "√");
        EXPECT_EQ(proxy.destinations(), std::vector<std::string>{c.asked});
    }
}

TEST_F(ProxyKinds, HttpProxiesCarryHttpOnly)
{
    const RawServer proxy = RawServer::replying("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nlisted");
    const std::string address = "127.0.0.1:" + std::to_string(proxy.port());
    const std::string asked = "http://www.site.test/page";
    // Bare, as the program always took it, and with its scheme: the same HTTP proxy.
    EXPECT_EQ(verdictThrough(address, asked), "√");
    EXPECT_EQ(verdictThrough("http://" + address, asked), "√");
    ASSERT_EQ(proxy.requests().size(), 2u);
    for (const std::string& request : proxy.requests())
        EXPECT_TRUE(request.starts_with("GET http://www.site.test/page HTTP/1.1\r\n")) << request;
    // An https address goes direct past an HTTP proxy.
    EXPECT_EQ(verdictThrough("http://" + address, secureWeb.url("/page")), "√");
    EXPECT_EQ(proxy.requests().size(), 2u);
}

TEST_F(ProxyKinds, AProxyThatIsNotThereOrTalksNonsenseGivesNoResponse)
{
    const RawServer liar = RawServer::replying("220 welcome to my mail server\r\n");
    const RawServer silent = RawServer::silent();
    const struct
    {
        const char* name;
        std::string proxy;
    } cases[] = {
        {"nobody listening", "socks5://127.0.0.1:1"},
        {"a SOCKS proxy that is no proxy", "socks5h://127.0.0.1:" + std::to_string(liar.port())},
        {"an HTTP proxy that is no proxy", "http://127.0.0.1:" + std::to_string(liar.port())},
        {"a proxy that never answers", "socks4://127.0.0.1:" + std::to_string(silent.port())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(verdictThrough(c.proxy, web.url("/page"), 2), "× no response");
    }
}

TEST_F(ProxyKinds, AProxyOfAnotherKindIsRefusedBeforeAnythingIsSent)
{
    const RawServer proxy = RawServer::replying("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    const std::string port = std::to_string(proxy.port());
    for (const std::string& given :
         {"ftp://127.0.0.1:" + port, "socks://127.0.0.1:" + port, std::string("socks5://")}) {
        SCOPED_TRACE(given);
        for (const char* command : {"fetch", "submit"}) {
            std::vector<std::string> arguments = {command, "--proxy", given};
            if (std::string(command) == "fetch")
                arguments.insert(arguments.begin() + 1, web.url("/page"));
            else
                arguments.insert(arguments.end(), {"--site", "mine.example", "--no-history"});
            const CliRun result = runCli(arguments);
            EXPECT_EQ(result.exitCode, 2);
            EXPECT_EQ(result.err, "tavrin-cli: --proxy " + given +
                                      ": the scheme must be http, https, socks4, socks5 or socks5h\n");
            EXPECT_EQ(result.out, "");
        }
    }
    EXPECT_TRUE(proxy.requests().empty());
    // What each kind carries.
    EXPECT_FALSE(parseProxyAddress("127.0.0.1:8080")->carries("https://a.example/"));
    EXPECT_TRUE(parseProxyAddress("socks5://127.0.0.1:1080")->carries("HTTPS://a.example/"));
    EXPECT_EQ(parseProxyAddress(" socks5h://h:1 ")->kind, ProxyKind::Socks5Hostname);
}

TEST_F(ProxyKinds, AListTakesTurnsAndSetsAsideProxiesThatNeverAnswer)
{
    testing_support::TempDir dir;
    SocksProxy good;
    // Says something at once that is no SOCKS at all, and hangs up.
    const RawServer liar = RawServer::scripted(
        [](testing_support::ScriptedConnection& client) { client.send("220 mail server\r\n"); });
    const std::string dead = "socks5://127.0.0.1:1";
    const std::string lying = "socks5://127.0.0.1:" + std::to_string(liar.port());
    const std::string list = dir.write("proxies.txt", "# the list\n\n" + dead + "\n  " + lying + "  \r\n" +
                                                          good.address("socks5") + "\n")
                                 .string();
    std::string templates;
    for (int row = 0; row < 9; ++row)
        templates += web.url("/page") + "?n=" + std::to_string(row) + "&q={$url}\r\n";
    const std::string file = dir.write("url.txt", templates).string();
    const CliRun result = runCli({"submit", "--site", "mine.example", "--templates", file, "--threads", "1",
                                  "--timeout", "5", "--proxies", list, "--no-history"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // Every row got through, the first three each after the two that never answer; those two
    // were set aside after their third request.
    EXPECT_NE(result.out.find("pass 1: √ 9, × 0"), std::string::npos) << result.out;
    EXPECT_EQ(good.destinations().size(), 9u);
    EXPECT_EQ(result.err,
              "tavrin-cli: proxy set aside after 3 requests in a row without a response: " + dead +
                  "\ntavrin-cli: proxy set aside after 3 requests in a row without a response: " + lying +
                  "\n");

    // With none left, the pass stops: no request goes direct, and no template is blamed for it.
    const std::string deadOnly = dir.write("dead.txt", dead + "\n").string();
    const std::string saved = (dir / "saved.txt").string();
    const CliRun none = runCli({"submit", "--site", "mine.example", "--templates", file, "--threads", "1",
                                "--timeout", "5", "--proxies", deadOnly, "--no-history", "--save", saved});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(
        none.err.ends_with("tavrin-cli: every proxy of the list has been set aside; the pass was stopped\n"))
        << none.err;
    EXPECT_EQ(pageRequests, 9) << "only those of the first run";
    // The three rows that went through it got no response; the rest stayed unmarked.
    EXPECT_EQ(testing_support::TempDir::read(saved), templates);
}

TEST_F(ProxyKinds, AProxySayingTheServiceCannotBeReachedIsNotSetAside)
{
    testing_support::TempDir dir;
    SocksProxy proxy;
    const std::string list = dir.write("proxies.txt", proxy.address("socks5") + "\n").string();
    // Five services that refuse every connection, then one that answers.
    std::string templates;
    for (int row = 0; row < 5; ++row)
        templates += "http://127.0.0.1:1/gone" + std::to_string(row) + "?q={$url}\r\n";
    templates += web.url("/page") + "?q={$url}\r\n";
    const CliRun result =
        runCli({"submit", "--site", "mine.example", "--templates", dir.write("url.txt", templates).string(),
                "--threads", "1", "--timeout", "5", "--proxies", list, "--no-history"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("pass 1: √ 1, × 5"), std::string::npos) << result.out;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(proxy.destinations().size(), 6u);
}

TEST_F(ProxyKinds, AProxyListThatCannotBeUsedIsRefused)
{
    testing_support::TempDir dir;
    const std::string comments = dir.write("comments.txt", "# nothing\n\n").string();
    const std::string bad = dir.write("bad.txt", "socks5://127.0.0.1:1080\nftp://127.0.0.1:21\n").string();
    const std::string missing = (dir / "missing.txt").string();
    const struct
    {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{"--proxies", missing}, "tavrin-cli: cannot read the list of proxies " + missing + "\n"},
        {{"--proxies", comments},
         "tavrin-cli: cannot read the list of proxies " + comments + " (no proxy in it)\n"},
        {{"--proxies", bad},
         "tavrin-cli: cannot read the list of proxies " + bad +
             " (line 2: ftp://127.0.0.1:21: the scheme must be http, https, socks4, socks5 or socks5h)\n"},
        {{"--proxies", comments, "--proxy", "127.0.0.1:8080"}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> arguments = {"submit", "--site", "mine.example", "--no-history"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const CliRun result = runCli(arguments);
        EXPECT_EQ(result.exitCode, 2);
        if (!c.message.empty()) {
            EXPECT_EQ(result.err, c.message);
        }
        EXPECT_EQ(result.out, "");
    }
}

} // namespace
} // namespace tavrin::net
