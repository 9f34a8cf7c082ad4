// Splitting request URLs: the routine's own cases, https, capitals, and the URLs that the old
// splitting got wrong.
#include "net/url_parts.h"
#include "text/encoding.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace tavrin::net {
namespace {

struct UrlCase
{
    std::string label;
    std::string url;
    std::string host;
    std::string hostWithPort;
    int port;
    std::string path;
    std::string requestUrl;
};

void PrintTo(const UrlCase& c, std::ostream* os)
{
    *os << c.label;
}

class UrlPartsTest : public testing::TestWithParam<UrlCase>
{
};

TEST_P(UrlPartsTest, SplitsHostPortAndPath)
{
    const UrlCase& c = GetParam();
    EXPECT_EQ(urlHost(c.url), c.host);
    EXPECT_EQ(urlHost(c.url, true), c.hostWithPort);
    EXPECT_EQ(urlPort(c.url), c.port);
    EXPECT_EQ(urlPath(c.url), c.path);
    EXPECT_EQ(requestUrl(c.url), c.requestUrl);
}

const std::string kGbkHost = text::utf8ToGbk("中文ABC");
const std::string kGbkHostLowered = text::utf8ToGbk("中文abc");
const std::string kGbkPath = text::utf8ToGbk("/查询?q=站点");

INSTANTIATE_TEST_SUITE_P(
    Urls, UrlPartsTest,
    testing::Values(UrlCase{"HostPathAndQuery", "http://h.example/a/b?x=1", "h.example", "h.example", 80,
                            "/a/b?x=1", "http://h.example/a/b?x=1"},
                    UrlCase{"MixedCaseHostWithPort", "http://Mixed.Example.COM:8080/q", "mixed.example.com",
                            "mixed.example.com:8080", 8080, "/q", "http://mixed.example.com:8080/q"},
                    UrlCase{"NothingAfterTheHost", "http://h.example", "h.example", "h.example", 80, "/",
                            "http://h.example/"},
                    UrlCase{"Https", "https://secure.example/x", "secure.example", "secure.example", 443,
                            "/x", "https://secure.example/x"},
                    UrlCase{"HttpsInCapitalsWithPort", "HTTPS://Secure.Example:8443/p?q", "secure.example",
                            "secure.example:8443", 8443, "/p?q", "https://secure.example:8443/p?q"},
                    UrlCase{"HttpInCapitals", "HTTP://UPPER.example/", "upper.example", "upper.example", 80,
                            "/", "http://upper.example/"},
                    UrlCase{"WithoutScheme", "h.example/path", "h.example", "h.example", 80, "/path",
                            "http://h.example/path"},
                    UrlCase{"QueryStraightAfterTheHost", "http://h.example?x=1", "h.example", "h.example", 80,
                            "/?x=1", "http://h.example/?x=1"},
                    UrlCase{"DefaultPortWritten", "http://h.example:80/a", "h.example", "h.example:80", 80,
                            "/a", "http://h.example/a"},
                    UrlCase{"PortZeroMeansDefault", "https://h.example:0/a", "h.example", "h.example:0", 443,
                            "/a", "https://h.example/a"},
                    UrlCase{"PortNotANumber", "http://h.example:abc/", "h.example", "h.example:abc", 80, "/",
                            "http://h.example/"},
                    UrlCase{"FullWidthPortDigits", "http://h.example:\xA3\xB8\xA3\xB0\xA3\xB8\xA3\xB1/",
                            "h.example", "h.example:\xA3\xB8\xA3\xB0\xA3\xB8\xA3\xB1", 8081, "/",
                            "http://h.example:8081/"},
                    UrlCase{"Ipv6Literal", "http://[::1]:8080/x", "[::1]", "[::1]:8080", 8080, "/x",
                            "http://[::1]:8080/x"},
                    UrlCase{"UrlInTheQuery", "http://a.example/?go=http://b.example/", "a.example",
                            "a.example", 80, "/?go=http://b.example/",
                            "http://a.example/?go=http://b.example/"},
                    UrlCase{"FragmentNotSent", "http://h.example/a#top", "h.example", "h.example", 80,
                            "/a#top", "http://h.example/a"},
                    UrlCase{"SpacesEscaped", "http://h.example/a b\tc", "h.example", "h.example", 80,
                            "/a b\tc", "http://h.example/a%20b%09c"},
                    UrlCase{"DoubleByteHostAndPath", "http://" + kGbkHost + ".example" + kGbkPath,
                            kGbkHostLowered + ".example", kGbkHostLowered + ".example", 80, kGbkPath,
                            "http://" + kGbkHostLowered + ".example" + kGbkPath}),
    [](const testing::TestParamInfo<UrlCase>& row) { return row.param.label; });

TEST(UrlIsHttps, RecognisesTheSchemeInAnyCase)
{
    EXPECT_TRUE(urlIsHttps("https://a.example/"));
    EXPECT_TRUE(urlIsHttps("HtTpS://a.example/"));
    EXPECT_FALSE(urlIsHttps("http://a.example/?next=https://b.example/"));
    EXPECT_FALSE(urlIsHttps("a.example"));
}

} // namespace
} // namespace tavrin::net
