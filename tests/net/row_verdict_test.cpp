// The check of one row against servers of the test's own: statuses, retries of transient
// answers within the time limit, the evidence a page gives, and the stricter rules.
#include "history/calendar_time.h"
#include "net/response_headers.h"
#include "submit/http_row_check.h"
#include "support/local_server.h"
#include "support/raw_server.h"
#include "support/row_checks.h"
#include "text/messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <regex>
#include <thread>

namespace tavrin::submit {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing_support::LocalServer;
using testing_support::RawServer;
using testing_support::ScriptedConnection;

// An HTTP date `seconds` from now, as a Retry-After field may give one.
std::string httpDateIn(int seconds)
{
    const std::time_t when = std::time(nullptr) + seconds;
    const std::tm parts = history::utcCalendar(when);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
    return text;
}

// One answer of a scripted service: a status and, when not empty, a Retry-After value;
// kDateInTwoSeconds stands for the HTTP date two seconds after the answer.
inline constexpr const char* kDateInTwoSeconds = "<date in 2 s>";

struct Answer
{
    int status;
    std::string retryAfter;
};

struct RetryCase
{
    std::string label;
    // Answers to the first, second, third ... request; the last one repeats.
    std::vector<Answer> answers;
    int limitSeconds;
    int attempts;
    ResponseTest decidedBy;
    std::string reason;
    std::chrono::milliseconds atLeast;
    std::chrono::milliseconds within;
};

void PrintTo(const RetryCase& c, std::ostream* os)
{
    *os << c.label;
}

class RetryTest : public testing::TestWithParam<RetryCase>
{
protected:
    void SetUp() override
    {
        server.routes().Get("/service", [this](const httplib::Request&, httplib::Response& res) {
            const std::vector<Answer>& answers = GetParam().answers;
            const std::size_t turn = std::min<std::size_t>(requests++, answers.size() - 1);
            res.status = answers[turn].status;
            const std::string& retryAfter = answers[turn].retryAfter;
            if (retryAfter == kDateInTwoSeconds)
                res.set_header("Retry-After", httpDateIn(2));
            else if (!retryAfter.empty())
                res.set_header("Retry-After", retryAfter);
            res.set_content("<html>www.mine.example</html>", "text/html");
        });
        server.start();
    }

    // Before the server: its handlers count here until it has stopped.
    std::atomic<std::size_t> requests{0};
    LocalServer server;
};

TEST_P(RetryTest, EndsWithTheLastAttemptsVerdictWithinTheLimit)
{
    const RetryCase& c = GetParam();
    const auto start = Clock::now();
    const RowResult outcome = checkRow(testing_support::rowFor(server.url("/service"), "www.mine.example"),
                                       testing_support::rulesWithin(c.limitSeconds));
    const auto took = Clock::now() - start;
    EXPECT_EQ(outcome.evidence.attempts, c.attempts);
    EXPECT_EQ(requests.load(), static_cast<std::size_t>(c.attempts));
    EXPECT_EQ(outcome.decidedBy, c.decidedBy);
    EXPECT_EQ(outcome.mark,
              c.decidedBy == ResponseTest::Passed ? library::Mark::Success : library::Mark::Failure);
    EXPECT_EQ(outcome.reason, c.reason);
    EXPECT_GE(took, c.atLeast);
    EXPECT_LT(took, c.within);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, RetryTest,
    testing::Values(
        RetryCase{"BusyThenAnswered", {{503, "0"}, {200, ""}}, 10, 2, ResponseTest::Passed, "", 0ms, 2s},
        RetryCase{"TooManyRequestsWaitsTheSecondsAsked",
                  {{429, "1"}, {200, ""}},
                  10,
                  2,
                  ResponseTest::Passed,
                  "",
                  1s,
                  3s},
        RetryCase{"RetryAfterAsAnHttpDate",
                  {{503, kDateInTwoSeconds}, {200, ""}},
                  10,
                  2,
                  ResponseTest::Passed,
                  "",
                  900ms,
                  4s},
        RetryCase{"RetryAfterPastTheLimitEndsTheRowAtOnce",
                  {{503, "120"}},
                  3,
                  1,
                  ResponseTest::HttpError,
                  "HTTP 503",
                  0ms,
                  1s},
        RetryCase{"AlwaysBusyStopsAfterTwoRetries",
                  {{502, ""}},
                  10,
                  3,
                  ResponseTest::HttpError,
                  "HTTP 502",
                  0ms,
                  4s},
        RetryCase{"GatewayTimeoutThenAnswered",
                  {{504, ""}, {504, ""}, {200, ""}},
                  10,
                  3,
                  ResponseTest::Passed,
                  "",
                  0ms,
                  4s},
        RetryCase{"GarbageRetryAfterFallsBackToABackoff",
                  {{503, "soon, maybe \x01\xff"}, {200, ""}},
                  10,
                  2,
                  ResponseTest::Passed,
                  "",
                  0ms,
                  3s},
        RetryCase{"NegativeRetryAfterIsGarbage",
                  {{503, "-5"}, {200, ""}},
                  10,
                  2,
                  ResponseTest::Passed,
                  "",
                  0ms,
                  3s},
        RetryCase{"HugeRetryAfterEndsTheRow",
                  {{503, "99999999999999999999999"}},
                  3,
                  1,
                  ResponseTest::HttpError,
                  "HTTP 503",
                  0ms,
                  1s},
        RetryCase{
            "ServerErrorIsNotRetried", {{500, "0"}}, 10, 1, ResponseTest::HttpError, "HTTP 500", 0ms, 1s},
        RetryCase{"RefusalIsNotRetried", {{403, ""}}, 10, 1, ResponseTest::HttpError, "HTTP 403", 0ms, 1s},
        RetryCase{"GoneIsNotRetried", {{410, ""}}, 10, 1, ResponseTest::HttpError, "HTTP 410", 0ms, 1s},
        RetryCase{
            "NotFoundKeepsItsOwnTest", {{404, ""}}, 10, 1, ResponseTest::NotFound, "404 in header", 0ms, 1s}),
    [](const testing::TestParamInfo<RetryCase>& row) { return row.param.label; });

TEST(RetryAfter, ReadsSecondsAndDatesAndNothingElse)
{
    const std::time_t now = 1'700'000'000; // Tue, 14 Nov 2023 22:13:20 GMT
    const auto header = [](const std::string& field) { return "HTTP/1.1 503 Busy\r\n" + field + "\r\n\r\n"; };
    const struct
    {
        std::string field;
        std::optional<std::chrono::seconds> wait;
    } cases[] = {
        {"Retry-After: 7", 7s},
        {"retry-after:   0  ", 0s},
        {"Retry-After: Tue, 14 Nov 2023 22:13:50 GMT", 30s},
        {"Retry-After: Tue, 14 Nov 2023 22:00:00 GMT", 0s}, // a date gone by: no wait
        {"Retry-After: 99999999999999999999", 1'000'000'000s},
        {"Retry-After: -1", std::nullopt},
        {"Retry-After: 1.5", std::nullopt},
        {"Retry-After: soon", std::nullopt},
        {"Retry-After:", std::nullopt},
        {"Retry-After: " + std::string(100, 'x'), std::nullopt},
        {"X-Retry-After: 5", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        EXPECT_EQ(net::retryAfter(header(c.field), now), c.wait);
    }
    EXPECT_EQ(net::retryAfter("HTTP/1.1 503 Retry-After: 5\r\n\r\n", now), std::nullopt)
        << "the status line is no field";
}

TEST(Retry, AConnectionResetBeforeAnyResponseIsAskedAgain)
{
    int connections = 0; // server thread only
    const RawServer server = RawServer::scripted([&connections](ScriptedConnection& connection) {
        if (!connection.readRequest())
            return;
        if (++connections == 1) {
            connection.resetOnClose();
            return;
        }
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 6\r\nConnection: close\r\n\r\nlisted");
    });
    const RowResult outcome =
        checkRow(testing_support::rowFor(server.url("/")), testing_support::rulesWithin(10));
    EXPECT_EQ(outcome.mark, library::Mark::Success) << outcome.reason;
    EXPECT_EQ(outcome.evidence.attempts, 2);
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST(Retry, ARefusedConnectionIsNotAskedAgain)
{
    // Nobody listens on the port of a server that has ended.
    std::string url;
    {
        const RawServer gone = RawServer::silent();
        url = gone.url("/");
    }
    const RowResult outcome = checkRow(testing_support::rowFor(url), testing_support::rulesWithin(10));
    EXPECT_EQ(outcome.decidedBy, ResponseTest::NoResponse);
    EXPECT_EQ(outcome.evidence.attempts, 1);
}

TEST(Retry, AStopDuringTheWaitEndsTheRowWithoutAnotherRequest)
{
    std::atomic<int> requests{0};
    LocalServer server;
    server.routes().Get("/busy", [&](const httplib::Request&, httplib::Response& res) {
        ++requests;
        res.status = 503;
        res.set_header("Retry-After", "5");
    });
    server.start();
    std::stop_source stop;
    std::thread stopper([&] {
        while (requests.load() == 0)
            std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(200ms);
        stop.request_stop();
    });
    const auto start = Clock::now();
    const RowResult outcome = checkRow(testing_support::rowFor(server.url("/busy")),
                                       testing_support::rulesWithin(30), stop.get_token());
    const auto took = Clock::now() - start;
    stopper.join();
    EXPECT_LT(took, 2s) << "the wait ends with the stop";
    EXPECT_EQ(requests.load(), 1);
    EXPECT_EQ(outcome.evidence.attempts, 1);
}

// Pages about a site, and a service that answers every query with the same page.
class StricterRulesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        auto& routes = server.routes();
        routes.Get("/linked", [](const httplib::Request& req, httplib::Response& res) {
            const std::string site = req.get_param_value("q");
            res.set_content("<html><head><meta charset=\"gbk\"><title>\xD5\xBE\xB5\xE3\xD0\xC5\xCF\xA2 " +
                                site + "</title></head><body>Rank of <a href=\"http://" + site + "/\">" +
                                site + "</a></body></html>",
                            "text/html");
        });
        routes.Get("/named", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("<html><body>No data about " + req.get_param_value("q") + " yet.</body></html>",
                            "text/html");
        });
        routes.Get("/silent", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html><body>Welcome to our tools!</body></html>", "text/html");
        });
        routes.Get("/echo", [this](const httplib::Request& req, httplib::Response& res) {
            {
                const std::lock_guard lock(mutex);
                asked.push_back(req.get_param_value("q"));
            }
            res.set_content("<html><body>Results for " + req.get_param_value("q") + ": none</body></html>",
                            "text/html");
        });
        routes.Get("/lookup", [](const httplib::Request& req, httplib::Response& res) {
            const std::string site = req.get_param_value("q");
            const bool known = site == "www.mine.example";
            res.set_content("<html><body>Results for " + site + (known ? ": rank 5" : ": none") +
                                "</body></html>",
                            "text/html");
        });
        server.start();
    }

    // A row made from the template at `path` with the query "q={$url}".
    RowRequest row(const std::string& path) const
    {
        RowRequest request;
        request.templateText = server.url(path) + "?q={$url}";
        request.url = server.url(path) + "?q=www.mine.example";
        request.siteHost = "www.mine.example";
        return request;
    }

    // Before the server: its handlers write here until it has stopped.
    std::mutex mutex;
    std::vector<std::string> asked; // guarded by mutex
    LocalServer server;
};

TEST_F(StricterRulesTest, EvidenceTellsWhatThePageHolds)
{
    const RowResult linked = checkRow(row("/linked"), testing_support::rulesWithin(10));
    EXPECT_EQ(linked.mark, library::Mark::Success);
    EXPECT_EQ(linked.evidence.finalUrl, row("/linked").url);
    EXPECT_EQ(linked.evidence.attempts, 1);
    EXPECT_GT(linked.evidence.bytes, 0);
    EXPECT_EQ(linked.evidence.titleUtf8, "站点信息 www.mine.example") << "decoded from the page's charset";
    EXPECT_TRUE(linked.evidence.mentionsSite);
    EXPECT_TRUE(linked.evidence.linksToSite);

    const RowResult silent = checkRow(row("/silent"), testing_support::rulesWithin(10));
    EXPECT_EQ(silent.mark, library::Mark::Success) << "the stricter rules are off unless asked for";
    EXPECT_FALSE(silent.evidence.mentionsSite);
    EXPECT_FALSE(silent.evidence.linksToSite);
}

TEST_F(StricterRulesTest, MentionAndLinkRulesFailPagesWithoutThem)
{
    const struct
    {
        const char* path;
        bool requireMention;
        bool requireLink;
        ResponseTest decidedBy;
        const char* reason;
    } cases[] = {
        {"/linked", true, true, ResponseTest::Passed, ""},
        {"/named", true, false, ResponseTest::Passed, ""},
        {"/named", true, true, ResponseTest::NoLink, "no link to site"},
        {"/named", false, true, ResponseTest::NoLink, "no link to site"},
        {"/silent", true, true, ResponseTest::NotMentioned, "site not mentioned"},
        {"/silent", false, false, ResponseTest::Passed, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.path << " mention " << c.requireMention << " link " << c.requireLink);
        const RowResult outcome =
            checkRow(row(c.path), testing_support::rulesWithin(10, {.requireMention = c.requireMention,
                                                                    .requireLink = c.requireLink,
                                                                    .baseline = false}));
        EXPECT_EQ(outcome.decidedBy, c.decidedBy);
        EXPECT_EQ(outcome.reason, c.reason);
    }
}

TEST_F(StricterRulesTest, BaselineFailsAPageThatIsTheSameForAnySite)
{
    const RowResult echo = checkRow(
        row("/echo"),
        testing_support::rulesWithin(10, {.requireMention = false, .requireLink = false, .baseline = true}));
    EXPECT_EQ(echo.decidedBy, ResponseTest::SamePage);
    EXPECT_EQ(echo.reason, "same page for any site");
    {
        const std::lock_guard lock(mutex);
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_EQ(std::count(asked.begin(), asked.end(), "www.mine.example"), 1);
        // The control host: twelve letters under .com, different every time.
        const std::string control = asked[0] == "www.mine.example" ? asked[1] : asked[0];
        EXPECT_TRUE(std::regex_match(control, std::regex("[a-z]{12}\\.com"))) << control;
    }

    const RowResult lookup = checkRow(
        row("/lookup"),
        testing_support::rulesWithin(10, {.requireMention = false, .requireLink = false, .baseline = true}));
    EXPECT_EQ(lookup.decidedBy, ResponseTest::Passed) << lookup.reason;

    // A row without a template stands for its URL with the site host put back.
    RowRequest bare = row("/echo");
    bare.templateText.reset();
    EXPECT_EQ(checkRow(bare, testing_support::rulesWithin(
                                 10, {.requireMention = false, .requireLink = false, .baseline = true}))
                  .decidedBy,
              ResponseTest::SamePage);
}

TEST_F(StricterRulesTest, OneRequestAtATimeAsksForTheControlPageOnlyAfterAPassingPage)
{
    submit::CheckOptions oneAtATime =
        testing_support::rulesWithin(10, {.requireMention = false, .requireLink = false, .baseline = true});
    oneAtATime.oneRequestAtATime = true;
    // The same verdicts as with both pages at once.
    EXPECT_EQ(checkRow(row("/echo"), oneAtATime).decidedBy, ResponseTest::SamePage);
    EXPECT_EQ(checkRow(row("/lookup"), oneAtATime).decidedBy, ResponseTest::Passed);
    {
        const std::lock_guard lock(mutex);
        // The site's page first, then the control host's.
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_EQ(asked[0], "www.mine.example");
        EXPECT_NE(asked[1], "www.mine.example");
        asked.clear();
    }
    // A page that fails on its own needs no control page.
    oneAtATime.requireLink = true;
    EXPECT_EQ(checkRow(row("/echo"), oneAtATime).decidedBy, ResponseTest::NoLink);
    const std::lock_guard lock(mutex);
    EXPECT_EQ(asked, std::vector<std::string>{"www.mine.example"});
}

TEST(SamePage, ComparesPagesWithEachHostReplaced)
{
    EXPECT_TRUE(samePageForAnyHost("About WWW.Mine.example: none", "www.mine.example", "About abc.com: none",
                                   "abc.com"));
    EXPECT_FALSE(samePageForAnyHost("About www.mine.example: rank 5", "www.mine.example",
                                    "About abc.com: none", "abc.com"));
    EXPECT_TRUE(samePageForAnyHost("", "a.example", "", "b.example"));
    EXPECT_FALSE(samePageForAnyHost("x a.example", "a.example", "x", "b.example"));
}

TEST(ControlPage, OnlyAnOrdinaryAnswerReadWholeIsCompared)
{
    const std::string page = "<p>About www.mine.example: none</p>";
    const std::string samePage = "<p>About abcdefghijkl.com: none</p>";
    const std::string refresh = R"(<meta http-equiv="refresh" content="0; url=/">)";
    const auto answer = [](std::string status, std::string body) {
        ProxiedFetch control;
        control.fetched.attempts = 1;
        net::FetchOutcome& outcome = control.fetched.outcome;
        outcome.end = net::FetchEnd::Response;
        outcome.headerText = "HTTP/1.1 " + status + "\r\nContent-Type: text/html\r\n\r\n";
        outcome.body = std::move(body);
        outcome.bodyComplete = true;
        return control;
    };
    const auto changed = [](ProxiedFetch control, const std::function<void(ProxiedFetch&)>& change) {
        change(control);
        return control;
    };
    const auto ended = [](net::FetchEnd end) {
        ProxiedFetch control;
        control.fetched.outcome.end = end;
        return control;
    };
    const struct
    {
        const char* label;
        ProxiedFetch control;
        BaselineCheck check;
    } cases[] = {
        {"the same page", answer("200 OK", samePage), BaselineCheck::Same},
        {"another page", answer("200 OK", "<p>About abcdefghijkl.com: rank 5</p>"), BaselineCheck::Differs},
        // The service's own answer for an unknown host, the same as the site's or not.
        {"the same page with a redirect status", answer("302 Found", samePage), BaselineCheck::Same},
        {"a page that refreshes", answer("200 OK", refresh), BaselineCheck::Differs},
        {"busy after the retries", answer("503 Service Unavailable", samePage), BaselineCheck::Unreadable},
        {"rate limited after the retries", answer("429 Too Many Requests", samePage),
         BaselineCheck::Unreadable},
        {"refused", answer("403 Forbidden", "<p>About abcdefghijkl.com: none</p>"),
         BaselineCheck::Unreadable},
        {"not found", answer("404 Not Found", samePage), BaselineCheck::Unreadable},
        {"cut short",
         changed(answer("200 OK", "<p>About"),
                 [](ProxiedFetch& c) { c.fetched.outcome.bodyComplete = false; }),
         BaselineCheck::Unreadable},
        {"cut at the cap",
         changed(answer("200 OK", samePage),
                 [](ProxiedFetch& c) {
                     c.fetched.outcome.bodyCapped = true;
                     c.fetched.outcome.bodyComplete = false;
                 }),
         BaselineCheck::Unreadable},
        {"no response", ended(net::FetchEnd::NoResponse), BaselineCheck::Unreadable},
        {"timed out", ended(net::FetchEnd::TimedOut), BaselineCheck::Unreadable},
        // A page the proxies did not carry says nothing of the service.
        {"no proxy could carry it",
         changed(answer("200 OK", samePage), [](ProxiedFetch& c) { c.notChecked = NotChecked::ProxyFailed; }),
         BaselineCheck::Unreadable},
        {"the proxy's own 407",
         changed(answer("407 Proxy Authentication Required", samePage),
                 [](ProxiedFetch& c) { c.fetched.outcome.proxyTrouble = net::ProxyTrouble::AuthRequired; }),
         BaselineCheck::Unreadable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(compareWithControl(page, "www.mine.example", c.control, "abcdefghijkl.com"), c.check);
    }
}

} // namespace
} // namespace tavrin::submit
