// What goes out on the wire for a fetch, and what comes back: the fixed header set in its
// order, methods and bodies, proxies, the final response's header text, cookies, redirects,
// status pages, binary bodies and long header blocks.
#include "net/cookie_share.h"
#include "net/fetch_records.h"
#include "net/http_fetch.h"
#include "net/request_headers.h"
#include "net/timed_fetch.h"
#include "support/local_server.h"
#include "support/raw_request.h"
#include "support/raw_server.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace tavrin::net {
namespace {

using namespace std::string_literals;
using testing_support::LocalServer;
using testing_support::RawRequest;
using testing_support::RawServer;

// Long enough never to be reached by a local answer, short enough for a hang to show.
constexpr int kLimit = 10;
const std::string kReplyOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";

struct ShapeCase
{
    std::string label;
    std::string method;
    std::string referer;
    std::string accept;
    std::string body;
    std::string requestLine;
    // These lines must all be there, in this order (other lines may stand between them).
    std::vector<std::string> orderedLines;
    std::vector<std::string> absentHeaders;
    std::string bodyReceived;
};

void PrintTo(const ShapeCase& c, std::ostream* os)
{
    *os << c.label;
}

class RequestShapeTest : public testing::TestWithParam<ShapeCase>
{
};

TEST_P(RequestShapeTest, SendsTheFixedHeaderSetInItsOrder)
{
    const ShapeCase& c = GetParam();
    clearCookies();
    const RawServer server = RawServer::replying(kReplyOk);
    Text header;
    const std::string body = timedFetch(server.url("/path?q=1"), c.method, {}, {}, {}, c.referer, c.body,
                                        kLimit, &header, c.accept);
    EXPECT_EQ(body, "ok");
    ASSERT_EQ(server.requests().size(), 1u);
    const RawRequest request(server.requests().front());

    EXPECT_EQ(request.lines.front(), c.requestLine);
    EXPECT_TRUE(request.has("User-Agent: " + std::string(kFetchUserAgent)));
    EXPECT_TRUE(request.has("Host: 127.0.0.1:" + std::to_string(server.port())));
    long previous = 0;
    for (const std::string& line : c.orderedLines) {
        const long at = request.indexOf(line);
        EXPECT_GT(at, previous) << "\"" << line << "\" missing or out of order";
        previous = std::max(previous, at);
    }
    for (const std::string& name : c.absentHeaders)
        EXPECT_FALSE(request.hasHeader(name)) << name;
    // No pause for "100 Continue" and no compressed answers asked for: the body comes back
    // exactly as the server sent it.
    EXPECT_FALSE(request.hasHeader("Expect"));
    EXPECT_FALSE(request.hasHeader("Accept-Encoding"));
    EXPECT_EQ(request.body, c.bodyReceived);
}

const std::vector<std::string> kFixedTail = {"Accept-Language: zh-cn", "UA-CPU: x86",
                                             "Connection: Keep-Alive"};

std::vector<std::string> lines(std::vector<std::string> head,
                               const std::vector<std::string>& tail = kFixedTail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RequestShapeTest,
    testing::Values(ShapeCase{"PlainGet",
                              "",
                              "",
                              "",
                              "",
                              "GET /path?q=1 HTTP/1.1",
                              lines({"Accept: */*"}),
                              {"Referer", "Content-Type", "Content-Length", "Cookie"},
                              ""},
                    ShapeCase{"GetWithRefererAndAccept",
                              "GET",
                              "http://ref.example/page",
                              "text/html",
                              "",
                              "GET /path?q=1 HTTP/1.1",
                              lines({"Accept: text/html", "Referer: http://ref.example/page"}),
                              {"Content-Type"},
                              ""},
                    ShapeCase{"MethodInLowerCaseIsGet",
                              "get",
                              "",
                              "",
                              "",
                              "GET /path?q=1 HTTP/1.1",
                              lines({"Accept: */*"}),
                              {},
                              ""},
                    // A GET never sends a body, even when one is given.
                    ShapeCase{"GetIgnoresTheBody",
                              "",
                              "",
                              "",
                              "a=1",
                              "GET /path?q=1 HTTP/1.1",
                              lines({"Accept: */*"}),
                              {"Content-Length"},
                              ""},
                    ShapeCase{"PostWithBody",
                              "POST",
                              "",
                              "",
                              "a=1&b=2",
                              "POST /path?q=1 HTTP/1.1",
                              lines({"Accept: */*"},
                                    {"Accept-Language: zh-cn", "UA-CPU: x86", "Connection: Keep-Alive",
                                     "Content-Type: application/x-www-form-urlencoded", "Content-Length: 7"}),
                              {},
                              "a=1&b=2"},
                    ShapeCase{"PostWithoutBodySaysNothingAboutContent",
                              "post",
                              "",
                              "",
                              "",
                              "POST /path?q=1 HTTP/1.1",
                              lines({"Accept: */*"}),
                              {"Content-Type", "Content-Length"},
                              ""},
                    // A Content-Type line carried in by the accept field replaces the default one.
                    ShapeCase{"PostKeepsAContentTypeGivenInAccept",
                              "POST",
                              "",
                              "text/plain\r\ncontent-type: text/plain",
                              "x=1",
                              "POST /path?q=1 HTTP/1.1",
                              lines({"Accept: text/plain", "content-type: text/plain"},
                                    {"Accept-Language: zh-cn", "UA-CPU: x86", "Connection: Keep-Alive",
                                     "Content-Length: 3"}),
                              {},
                              "x=1"}),
    [](const testing::TestParamInfo<ShapeCase>& row) { return row.param.label; });

TEST(HttpFetch, SendsCredentialsOnlyWhenGiven)
{
    const struct
    {
        std::string userName;
        std::string password;
        std::string authorization; // empty: no Authorization line
    } cases[] = {
        {"user", "secret", "Authorization: Basic dXNlcjpzZWNyZXQ="},
        // Blanks only (ASCII or full-width) count as not given.
        {"  ", "\xA1\xA1", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.userName + "/" + c.password);
        const RawServer server = RawServer::replying(kReplyOk);
        EXPECT_EQ(timedFetch(server.url("/"), {}, {}, c.userName, c.password, {}, {}, kLimit), "ok");
        ASSERT_EQ(server.requests().size(), 1u);
        const RawRequest request(server.requests().front());
        if (c.authorization.empty())
            EXPECT_FALSE(request.hasHeader("Authorization"));
        else
            EXPECT_TRUE(request.has(c.authorization));
    }
}

TEST(HttpFetch, GivesTheFinalHeaderTextWithCrLfLinesAndTheBody)
{
    // Bare LF line ends from the server come back as CR LF; an interim 100 response is not
    // part of the header text.
    const RawServer server = RawServer::replying("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\nX-One: "
                                                 "1\nContent-Length: 4\nConnection: close\n\nbody");
    FetchRequest request;
    request.url = server.url("/");
    FetchBlock block;
    writeRequestRecord(block, request);
    ASSERT_TRUE(httpFetch(&block));
    const std::optional<FetchResult> result = readResultRecord(block);
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->headerText,
              "HTTP/1.1 200 OK\r\nX-One: 1\r\nContent-Length: 4\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(result->body, "body");
}

TEST(HttpFetch, PerformsThePostOfTheRecordAndLeavesExactlyOneResultRecord)
{
    const RawServer server = RawServer::replying(kReplyOk);
    FetchRequest request;
    request.url = server.url("/form");
    request.method = "POST";
    request.referer = "http://ref.example/";
    request.body = "a=1&b=\0z"s;
    FetchBlock block;
    writeRequestRecord(block, request);
    ASSERT_TRUE(httpFetch(&block));

    ASSERT_EQ(server.requests().size(), 1u);
    const RawRequest received(server.requests().front());
    EXPECT_EQ(received.lines.front(), "POST /form HTTP/1.1");
    EXPECT_TRUE(received.has("Referer: http://ref.example/"));
    EXPECT_EQ(received.body, "a=1&b=\0z"s);

    // Nothing of the request record is left, and nothing follows the result.
    FetchBlock expected;
    writeResultRecord(expected,
                      FetchResult{"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\n", "ok"});
    EXPECT_EQ(block.bytes(), expected.bytes());
}

struct ProxyCase
{
    std::string label;
    std::string proxyField; // "{port}" stands for the raw server's port
    bool throughProxy;
};

void PrintTo(const ProxyCase& c, std::ostream* os)
{
    *os << c.label;
}

class ProxyTest : public testing::TestWithParam<ProxyCase>
{
};

TEST_P(ProxyTest, UsesTheProxyFieldForHttp)
{
    // The raw server plays both parts: as the proxy it sees the full address in the request
    // line, as the target only the path.
    const RawServer server = RawServer::replying(kReplyOk);
    std::string proxy = GetParam().proxyField;
    if (const std::size_t at = proxy.find("{port}"); at != std::string::npos)
        proxy.replace(at, 6, std::to_string(server.port()));
    const std::string target = GetParam().throughProxy ? "http://target.invalid/page" : server.url("/page");
    EXPECT_EQ(timedFetch(target, {}, proxy, {}, {}, {}, {}, kLimit), "ok");
    ASSERT_EQ(server.requests().size(), 1u);
    const RawRequest request(server.requests().front());
    EXPECT_EQ(request.lines.front(),
              GetParam().throughProxy ? "GET http://target.invalid/page HTTP/1.1" : "GET /page HTTP/1.1");
}

INSTANTIATE_TEST_SUITE_P(Proxies, ProxyTest,
                         testing::Values(ProxyCase{"HostAndPort", "127.0.0.1:{port}", true},
                                         ProxyCase{"LeadingBlank", " 127.0.0.1:{port}", true},
                                         ProxyCase{"OnlyBlanksMeansDirect", "   ", false},
                                         ProxyCase{"FullWidthBlanksMeanDirect", "\xA1\xA1 \xA1\xA1", false}),
                         [](const testing::TestParamInfo<ProxyCase>& row) { return row.param.label; });

// A local server with the pages the tests below ask for.
class ServedFetchTest : public testing::Test
{
protected:
    void SetUp() override
    {
        clearCookies();
        auto& routes = server_.routes();
        routes.Get("/set-cookie", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "sid=42; path=/");
            res.set_content("set", "text/plain");
        });
        routes.Get("/echo-cookie", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Cookie"), "text/plain");
        });
        routes.Get("/redirect-1", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "hop=1; path=/");
            res.set_redirect("/redirect-2", 302);
        });
        routes.Get("/redirect-2", [](const httplib::Request&, httplib::Response& res) {
            res.set_redirect("/echo-cookie", 301);
        });
        routes.Get("/redirect-to", [](const httplib::Request& req, httplib::Response& res) {
            res.set_redirect(req.get_param_value("target"), 302);
        });
        routes.Get("/loop",
                   [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop", 302); });
        routes.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("no such page", "text/html");
        });
        routes.Get("/binary", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("\0head\0\xFF\xFE tail\0"s, "application/octet-stream");
        });
        routes.Get("/long-header", [](const httplib::Request&, httplib::Response& res) {
            for (int i = 0; i < 40; ++i)
                res.set_header("X-Padding-" + std::to_string(i), std::string(100, 'p'));
            res.set_header("Set-Cookie", "late=1; path=/");
            res.status = 404;
            res.set_content("gone", "text/plain");
        });
        server_.start();
    }

    LocalServer server_;
};

TEST_F(ServedFetchTest, CookiesSetByOneResponseAreSentOnLaterRequestsFromAnyThread)
{
    Text header;
    EXPECT_EQ(timedFetch(server_.url("/set-cookie"), {}, {}, {}, {}, {}, {}, kLimit, &header), "set");
    EXPECT_NE(header.find("Set-Cookie: sid=42; path=/\r\n"), std::string::npos);
    std::string echoed;
    std::thread other(
        [&] { echoed = timedFetch(server_.url("/echo-cookie"), {}, {}, {}, {}, {}, {}, kLimit); });
    other.join();
    EXPECT_EQ(echoed, "sid=42");
}

TEST_F(ServedFetchTest, FollowsRedirectsAndReturnsTheFinalResponse)
{
    Text header;
    const std::string body = timedFetch(server_.url("/redirect-1"), {}, {}, {}, {}, {}, {}, kLimit, &header);
    // The cookie set on the first hop travelled along.
    EXPECT_EQ(body, "hop=1");
    EXPECT_EQ(header.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << header;
    EXPECT_EQ(header.find("302"), std::string::npos);
    EXPECT_EQ(header.substr(header.size() - 4), "\r\n\r\n");
}

TEST_F(ServedFetchTest, EndlessRedirectsCountAsNoResponse)
{
    Text header = "untouched";
    EXPECT_EQ(timedFetch(server_.url("/loop"), {}, {}, {}, {}, {}, {}, kLimit, &header), "");
    EXPECT_EQ(header, "");
}

TEST_F(ServedFetchTest, RedirectToWhereTheConnectionIsResetIsNoResponse)
{
    // The redirect's own header must not be taken for the answer of the request it led to.
    const RawServer resets = RawServer::resetting();
    Text header = "untouched";
    EXPECT_EQ(timedFetch(server_.url("/redirect-to?target=" + resets.url("/")), {}, {}, {}, {}, {}, {},
                         kLimit, &header),
              "");
    EXPECT_EQ(header, "");
    EXPECT_EQ(resets.requests().size(), 1u);
}

TEST_F(ServedFetchTest, NotFoundPageComesBackWithItsBody)
{
    Text header;
    EXPECT_EQ(timedFetch(server_.url("/missing"), {}, {}, {}, {}, {}, {}, kLimit, &header), "no such page");
    EXPECT_EQ(header.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << header;
}

TEST_F(ServedFetchTest, BodyWithNulBytesComesBackWhole)
{
    EXPECT_EQ(timedFetch(server_.url("/binary"), {}, {}, {}, {}, {}, {}, kLimit), "\0head\0\xFF\xFE tail\0"s);
}

TEST_F(ServedFetchTest, LongHeaderBlockComesBackWholeAndItsCookieIsKept)
{
    Text header;
    EXPECT_EQ(timedFetch(server_.url("/long-header"), {}, {}, {}, {}, {}, {}, kLimit, &header), "gone");
    EXPECT_GT(header.size(), 4000u);
    EXPECT_NE(header.find(" 404 "), std::string::npos);
    EXPECT_NE(header.find("X-Padding-39: " + std::string(100, 'p') + "\r\n"), std::string::npos);
    EXPECT_NE(header.find("Set-Cookie: late=1; path=/\r\n"), std::string::npos);
    EXPECT_EQ(timedFetch(server_.url("/echo-cookie"), {}, {}, {}, {}, {}, {}, kLimit), "late=1");
}

} // namespace
} // namespace tavrin::net
