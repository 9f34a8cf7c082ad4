// The check of rows through one proxy: every kind of stand-in proxy, working or failing in its
// own way, in front of services that answer at once, answer after the row's limit, or reset the
// connection. A row's mark is the service's doing (√, ×) only when the proxy did its part; a row
// the proxy failed is not checked; a proxy is set aside only for failures of its own.
#include "cli/proxy_option.h"
#include "library/site_host.h"
#include "net/tls_trust.h"
#include "submit/http_row_check.h"
#include "support/http_proxy.h"
#include "support/local_server.h"
#include "support/raw_server.h"
#include "support/row_checks.h"
#include "support/socket_relay.h"
#include "support/socks_proxy.h"
#include "support/test_certificates.h"
#include "support/tls_local_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tavrin::submit {
namespace {

using library::Mark;
using net::ProxyTrouble;
using testing_support::FullListener;
using testing_support::HttpProxy;
using testing_support::LocalServer;
using testing_support::RawServer;
using testing_support::SocksProxy;
using testing_support::testCertificates;
using testing_support::TlsLocalServer;

constexpr int kLimitSeconds = 2;

enum class StandIn
{
    Forwarding,         // forwards requests and opens CONNECT tunnels
    Socks5,             // connects as asked
    Refusing,           // nobody listening
    NotAccepting,       // connections neither taken nor refused
    Hanging,            // takes connections and never says a word
    HangingForServices, // answers for itself, never for a service
    Garbage,            // answers with a line that is no HTTP, and hangs up
    AskingCredentials,  // 407 to every request
    Socks4Rejecting,    // "request rejected or failed"
    Socks5Rejecting,    // "general SOCKS server failure"
    Socks5Silent,       // takes connections and never answers the greeting
    Socks5hForExample,  // leaves names to the proxy, which connects names under .example only
};

enum class Service
{
    Fast,
    Slow,      // answers after the row's limit
    Resetting, // resets the connection
};

struct ProxyCase
{
    const char* name;
    StandIn proxy;
    Service service;
    bool https; // through CONNECT for an HTTP proxy
    // The mark of a row of a fast service checked first, then of two rows of `service` checked
    // at the same time.
    Mark first;
    Mark rows;
    std::optional<ProxyTrouble> setAside;
};

const ProxyCase kCases[] = {
    {"forwarding, fast", StandIn::Forwarding, Service::Fast, false, Mark::Success, Mark::Success, {}},
    {"forwarding, slow", StandIn::Forwarding, Service::Slow, false, Mark::Success, Mark::Failure, {}},
    {"forwarding, resetting",
     StandIn::Forwarding,
     Service::Resetting,
     false,
     Mark::Success,
     Mark::Failure,
     {}},
    {"CONNECT, fast", StandIn::Forwarding, Service::Fast, true, Mark::Success, Mark::Success, {}},
    {"CONNECT, slow", StandIn::Forwarding, Service::Slow, true, Mark::Success, Mark::Failure, {}},
    {"CONNECT, resetting", StandIn::Forwarding, Service::Resetting, true, Mark::Success, Mark::Failure, {}},
    {"SOCKS5, slow", StandIn::Socks5, Service::Slow, false, Mark::Success, Mark::Failure, {}},
    {"SOCKS5, resetting", StandIn::Socks5, Service::Resetting, false, Mark::Success, Mark::Failure, {}},
    {"refusing", StandIn::Refusing, Service::Fast, false, Mark::NotChecked, Mark::NotChecked,
     ProxyTrouble::Refused},
    {"not accepting", StandIn::NotAccepting, Service::Fast, false, Mark::NotChecked, Mark::NotChecked,
     ProxyTrouble::TimedOut},
    {"hanging", StandIn::Hanging, Service::Fast, false, Mark::NotChecked, Mark::NotChecked,
     ProxyTrouble::NoAnswer},
    {"hanging, CONNECT", StandIn::Hanging, Service::Fast, true, Mark::NotChecked, Mark::NotChecked,
     ProxyTrouble::NoAnswer},
    // Alone, nothing shows whether the proxy or the services are at fault: nobody is blamed.
    {"answering for itself only",
     StandIn::HangingForServices,
     Service::Fast,
     false,
     Mark::NotChecked,
     Mark::NotChecked,
     {}},
    {"garbage", StandIn::Garbage, Service::Fast, false, Mark::NotChecked, Mark::NotChecked,
     ProxyTrouble::NotAProxy},
    {"407", StandIn::AskingCredentials, Service::Fast, false, Mark::NotChecked, Mark::NotChecked,
     ProxyTrouble::AuthRequired},
    {"407, CONNECT", StandIn::AskingCredentials, Service::Fast, true, Mark::NotChecked, Mark::NotChecked,
     ProxyTrouble::AuthRequired},
    // SOCKS4 has one answer for "cannot reach the service" and for any other refusal: the proxy
    // answered, and the row fails on its own account, as with SOCKS5's "host unreachable".
    {"SOCKS4 rejecting", StandIn::Socks4Rejecting, Service::Fast, false, Mark::Failure, Mark::Failure, {}},
    {"SOCKS5 rejecting", StandIn::Socks5Rejecting, Service::Fast, false, Mark::NotChecked, Mark::NotChecked,
     ProxyTrouble::Refused},
    {"SOCKS5 silent", StandIn::Socks5Silent, Service::Fast, false, Mark::NotChecked, Mark::NotChecked,
     ProxyTrouble::NoAnswer},
};

// One stand-in proxy of a case, whichever kind it is, and its address.
class StandInProxy
{
public:
    explicit StandInProxy(StandIn kind)
    {
        switch (kind) {
        case StandIn::Forwarding:
            address_ = (http_ = std::make_unique<HttpProxy>())->address();
            break;
        case StandIn::Hanging:
            address_ = (http_ = std::make_unique<HttpProxy>(HttpProxy::Behaviour::Hang))->address();
            break;
        case StandIn::HangingForServices:
            address_ =
                (http_ = std::make_unique<HttpProxy>(HttpProxy::Behaviour::HangForServices))->address();
            break;
        case StandIn::AskingCredentials:
            http_ = std::make_unique<HttpProxy>();
            http_->requireCredentials("user:password");
            address_ = http_->address();
            break;
        case StandIn::Socks5:
            address_ = (socks_ = std::make_unique<SocksProxy>())->address("socks5");
            break;
        case StandIn::Socks4Rejecting:
            address_ = (socks_ = std::make_unique<SocksProxy>(SocksProxy::Reply::Reject))->address("socks4");
            break;
        case StandIn::Socks5Rejecting:
            address_ = (socks_ = std::make_unique<SocksProxy>(SocksProxy::Reply::Reject))->address("socks5");
            break;
        case StandIn::Refusing:
            address_ = "http://127.0.0.1:1";
            break;
        case StandIn::NotAccepting:
            address_ =
                "http://127.0.0.1:" + std::to_string((full_ = std::make_unique<FullListener>())->port());
            break;
        case StandIn::Garbage:
            // A raw server cannot be moved: it is made in place.
            raw_.reset(new RawServer(RawServer::scripted(
                [](testing_support::ScriptedConnection& client) { client.send("220 mail server\r\n"); })));
            address_ = "http://127.0.0.1:" + std::to_string(raw_->port());
            break;
        case StandIn::Socks5Silent:
            raw_.reset(new RawServer(RawServer::silent()));
            address_ = "socks5://127.0.0.1:" + std::to_string(raw_->port());
            break;
        case StandIn::Socks5hForExample:
            socks_ = std::make_unique<SocksProxy>();
            socks_->allowOnlyNamesEndingIn(".example");
            address_ = socks_->address("socks5h");
            break;
        }
    }

    [[nodiscard]] const std::string& address() const { return address_; }
    // What clients asked a stand-in proxy of the tests' own to connect them to.
    [[nodiscard]] std::vector<std::string> destinations() const
    {
        return http_ ? http_->destinations() : socks_ ? socks_->destinations() : std::vector<std::string>{};
    }

private:
    std::string address_;
    std::unique_ptr<HttpProxy> http_;
    std::unique_ptr<SocksProxy> socks_;
    std::unique_ptr<RawServer> raw_;
    std::unique_ptr<FullListener> full_;
};

class ProxiedChecks : public testing::Test
{
protected:
    void SetUp() override
    {
        net::setTrustedCertificates(testCertificates().authorityPem);
        for (LocalServer* server : {&web, static_cast<LocalServer*>(&secureWeb)}) {
            server->routes().Get("/page", [](const httplib::Request&, httplib::Response& res) {
                res.set_content("listed", "text/html");
            });
            // Answers after the proxy's patience and its probe, well within the row's limit.
            server->routes().Get("/late", [](const httplib::Request&, httplib::Response& res) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2500));
                res.set_content("listed", "text/html");
            });
            // The same page for any host asked about, and a page that knows the site.
            server->routes().Get("/about", [](const httplib::Request& req, httplib::Response& res) {
                res.set_content("About " + req.get_param_value("q") + ": none", "text/html");
            });
            server->routes().Get("/lookup", [](const httplib::Request& req, httplib::Response& res) {
                const std::string site = req.get_param_value("q");
                res.set_content("About " + site + (site == "www.mine.example" ? ": rank 5" : ": none"),
                                "text/html");
            });
            server->routes().Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
                for (int i = 0; i < 100 && !releaseSlow; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                res.set_content("late", "text/html");
            });
            server->start();
        }
    }
    void TearDown() override
    {
        releaseSlow = true;
        web.stop();
        secureWeb.stop();
        net::setTrustedCertificates({});
    }

    [[nodiscard]] std::string urlOf(Service service, bool https, int row) const
    {
        const std::string query = "?row=" + std::to_string(row);
        switch (service) {
        case Service::Fast:
            return (https ? "https://localhost:" + std::to_string(secureWeb.port()) : web.url("")) + "/page" +
                   query;
        case Service::Slow:
            return (https ? "https://localhost:" + std::to_string(secureWeb.port()) : web.url("")) + "/slow" +
                   query;
        case Service::Resetting:
            return "http" + std::string(https ? "s" : "") +
                   "://127.0.0.1:" + std::to_string((https ? secureResetting : resetting).port()) + "/" +
                   query;
        }
        return {};
    }

    std::atomic<bool> releaseSlow{false};
    LocalServer web;
    TlsLocalServer secureWeb{testCertificates().server.certificate.get(),
                             testCertificates().server.key.get()};
    const RawServer resetting = RawServer::resetting();
    // Resets the connection as it comes, before any TLS.
    const RawServer secureResetting =
        RawServer::scripted([](testing_support::ScriptedConnection& client) { client.resetOnClose(); });
};

// A mark as a failed expectation prints it.
std::string nameOf(Mark mark)
{
    switch (mark) {
    case Mark::Success:
        return "success";
    case Mark::Failure:
        return "failure";
    case Mark::NotChecked:
        return "not checked";
    case Mark::Pending:
    case Mark::Working:
        break;
    }
    return "no verdict";
}

// What the rows of one case got, and what became of the proxy.
struct CaseOutcome
{
    Mark first = Mark::Pending;
    std::vector<RowResult> rows;
    std::vector<ProxyPool::SetAside> setAside;
};

TEST_F(ProxiedChecks, EachRowIsMarkedForWhatTheServiceDidAndEachProxySetAsideForWhatItDid)
{
    // The cases run side by side, each with its own proxy and pool: the whole table takes about
    // as long as its longest case.
    std::vector<CaseOutcome> outcomes(std::size(kCases));
    std::vector<std::thread> runs;
    for (std::size_t at = 0; at < std::size(kCases); ++at) {
        runs.emplace_back([this, &outcome = outcomes[at], &c = kCases[at]] {
            const StandInProxy proxy(c.proxy);
            CheckOptions options;
            options.timeLimitSeconds = kLimitSeconds;
            options.proxies = std::make_shared<ProxyPool>(std::vector<text::Text>{proxy.address()});
            outcome.first = checkRow(testing_support::rowFor(urlOf(Service::Fast, c.https, 0)), options).mark;
            outcome.rows.resize(2);
            std::thread second([&] {
                outcome.rows[1] = checkRow(testing_support::rowFor(urlOf(c.service, c.https, 2)), options);
            });
            outcome.rows[0] = checkRow(testing_support::rowFor(urlOf(c.service, c.https, 1)), options);
            second.join();
            outcome.setAside = options.proxies->setAside();
        });
    }
    for (std::thread& run : runs)
        run.join();

    for (std::size_t at = 0; at < std::size(kCases); ++at) {
        const ProxyCase& c = kCases[at];
        const CaseOutcome& outcome = outcomes[at];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(nameOf(outcome.first), nameOf(c.first));
        for (const RowResult& row : outcome.rows) {
            EXPECT_EQ(nameOf(row.mark), nameOf(c.rows)) << row.reason;
            EXPECT_EQ(row.reason.starts_with("not checked: "), c.rows == Mark::NotChecked) << row.reason;
        }
        if (c.setAside) {
            ASSERT_EQ(outcome.setAside.size(), 1u);
            EXPECT_EQ(outcome.setAside.front().reason, *c.setAside)
                << cli::setAsideReason(outcome.setAside.front().reason);
        } else {
            EXPECT_TRUE(outcome.setAside.empty());
        }
    }
}

TEST_F(ProxiedChecks, ALoneProxyThatCannotProveItselfIsWaitedOnToTheRowsLimit)
{
    // The first row through a new proxy: nothing it carried shows it works, and no other proxy
    // could do better, so the row waits for its service rather than giving up at the patience.
    HttpProxy proxy;
    CheckOptions options;
    options.timeLimitSeconds = 5;
    options.proxies = std::make_shared<ProxyPool>(std::vector<text::Text>{proxy.address()});
    const RowResult late = checkRow(testing_support::rowFor(web.url("/late")), options);
    EXPECT_EQ(nameOf(late.mark), "success") << late.reason;
    EXPECT_TRUE(options.proxies->setAside().empty());
}

TEST_F(ProxiedChecks, TheControlPageTakesTheRowsWayThroughTheProxies)
{
    const std::string port = std::to_string(web.port());
    const struct
    {
        const char* label;
        std::vector<StandIn> proxies;
        // "{$url}" for the site's host or the control host.
        std::string templateText;
        Mark mark;
        BaselineCheck baseline;
    } cases[] = {
        // The first proxy refuses the control request as it does the row's: both go on through
        // the next one, and the pages compare as the service gave them.
        {"past a refusing proxy, the same page",
         {StandIn::Refusing, StandIn::Forwarding},
         web.url("/about?q={$url}"),
         Mark::Failure,
         BaselineCheck::Same},
        {"past a refusing proxy, a page that knows the site",
         {StandIn::Refusing, StandIn::Forwarding},
         web.url("/lookup?q={$url}"),
         Mark::Success,
         BaselineCheck::Differs},
        // The proxy will not connect to the control host: no page to compare, and no reason to
        // fail the row.
        {"a proxy that refuses the control host",
         {StandIn::Socks5hForExample},
         "http://{$url}:" + port + "/about?q=any",
         Mark::Success,
         BaselineCheck::Unreadable},
    };
    for (const auto& c : cases) {
        for (const bool oneRequestAtATime : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << c.label << (oneRequestAtATime ? ", one request at a time" : ""));
            std::vector<std::unique_ptr<StandInProxy>> proxies;
            std::vector<text::Text> addresses;
            for (const StandIn kind : c.proxies) {
                proxies.push_back(std::make_unique<StandInProxy>(kind));
                addresses.push_back(proxies.back()->address());
            }
            CheckOptions options = testing_support::rulesWithin(kLimitSeconds, {.baseline = true});
            options.oneRequestAtATime = oneRequestAtATime;
            options.proxies = std::make_shared<ProxyPool>(addresses);
            RowRequest row;
            row.templateText = c.templateText;
            row.siteHost = "www.mine.example";
            row.url = library::expandTemplate(c.templateText, row.siteHost);

            const RowResult checked = checkRow(row, options);
            EXPECT_EQ(nameOf(checked.mark), nameOf(c.mark)) << checked.reason;
            EXPECT_EQ(checked.evidence.baseline, c.baseline);
            EXPECT_EQ(proxies.back()->destinations().size(), 2u) << "the row's request and the control's";
        }
    }
}

} // namespace
} // namespace tavrin::submit
