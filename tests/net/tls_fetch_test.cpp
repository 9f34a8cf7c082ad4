// HTTPS: a local TLS server whose certificate a test authority signed (made at test time).
// Verification stays on, so a certificate nobody vouches for gives no response.
#include "net/cookie_share.h"
#include "net/http_get_file.h"
#include "net/timed_fetch.h"
#include "net/tls_trust.h"
#include "support/local_server.h"
#include "support/raw_server.h"
#include "support/request_for.h"
#include "support/test_certificates.h"
#include "support/tls_local_server.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrin::net {
namespace {

using testing_support::LocalServer;
using testing_support::RawServer;
using testing_support::requestFor;
using testing_support::testCertificates;
using testing_support::TlsLocalServer;

class TlsFetchTest : public testing::Test
{
protected:
    void SetUp() override
    {
        clearCookies();
        setTrustedCertificates(testCertificates().authorityPem);
        auto& routes = trusted_.routes();
        routes.Get("/page", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "tls=1; path=/");
            res.set_content("secure page", "text/html");
        });
        routes.Get("/echo-cookie", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Cookie"), "text/plain");
        });
        trusted_.start();
        untrusted_.routes().Get("/page", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("should not be read", "text/html");
        });
        untrusted_.start();
    }

    void TearDown() override { setTrustedCertificates({}); }

    TlsLocalServer trusted_{testCertificates().server.certificate.get(), testCertificates().server.key.get()};
    TlsLocalServer untrusted_{testCertificates().untrusted.certificate.get(),
                              testCertificates().untrusted.key.get()};
};

TEST_F(TlsFetchTest, FetchesOverTlsAndKeepsCookies)
{
    Text header;
    EXPECT_EQ(timedFetch(trusted_.url("/page"), {}, {}, {}, {}, {}, {}, 10, &header), "secure page");
    EXPECT_EQ(header.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << header;
    EXPECT_EQ(timedFetch(trusted_.url("/echo-cookie"), {}, {}, {}, {}, {}, {}, 10), "tls=1");
}

TEST_F(TlsFetchTest, SchemeInCapitalsIsStillHttps)
{
    const std::string url = "HTTPS://127.0.0.1:" + std::to_string(trusted_.port()) + "/page";
    EXPECT_EQ(timedFetch(url, {}, {}, {}, {}, {}, {}, 10), "secure page");
}

TEST_F(TlsFetchTest, UntrustedCertificateGivesNoResponse)
{
    const FetchOutcome outcome = runTimedFetch(requestFor(untrusted_.url("/page")), 10);
    EXPECT_EQ(outcome.end, FetchEnd::NoResponse);
    EXPECT_EQ(outcome.headerText, "");
    EXPECT_EQ(outcome.body, "");
    EXPECT_FALSE(outcome.failure.empty());
}

TEST_F(TlsFetchTest, HttpProxyIsNotUsedForHttps)
{
    // The proxy field names an HTTP proxy for http addresses only; https goes direct.
    const RawServer proxy = RawServer::replying("HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
    const std::string proxyField = "127.0.0.1:" + std::to_string(proxy.port());
    EXPECT_EQ(timedFetch(trusted_.url("/page"), {}, proxyField, {}, {}, {}, {}, 10), "secure page");
    EXPECT_TRUE(proxy.requests().empty());
}

TEST_F(TlsFetchTest, GetFileFetchesOverTls)
{
    EXPECT_EQ(httpGetFile(trusted_.url("/page")), "secure page");
    EXPECT_EQ(httpGetFile(untrusted_.url("/page")), "");
}

} // namespace
} // namespace tavrin::net
