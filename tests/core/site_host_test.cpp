#include "library/site_host.h"
#include "library/template_file.h"
#include "text/encoding.h"

#include <gtest/gtest.h>

namespace tavrin::library {
namespace {

using text::utf8ToGbk;

struct HostCase
{
    const char* address;
    const char* host;
    friend std::ostream& operator<<(std::ostream& out, const HostCase& c)
    {
        return out << '"' << c.address << '"';
    }
};

class SiteHostTest : public testing::TestWithParam<HostCase>
{
};

TEST_P(SiteHostTest, ExtractsTheHost)
{
    EXPECT_EQ(siteHost(GetParam().address), GetParam().host);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, SiteHostTest,
    testing::Values(HostCase{"http://www.Example.COM:8080/path/x.html", "www.example.com"},
                    HostCase{"www.example.com/path", "www.example.com"},
                    HostCase{"https://secure.example.com/", "secure.example.com"},
                    HostCase{"HTTP://UPPER.example.com", "upper.example.com"},
                    HostCase{"HtTpS://Mixed.example.com:443", "mixed.example.com"},
                    HostCase{"ftp://files.example.com/a", "files.example.com"},
                    HostCase{"  http://padded.example.com", "padded.example.com"},
                    HostCase{"a.example.com/?go=http://b.example.com", "a.example.com"},
                    HostCase{"q.example.com?x=1", "q.example.com"},
                    HostCase{"frag.example.com#top", "frag.example.com"}, HostCase{"http://", ""},
                    HostCase{"", ""}, HostCase{"localhost:80", "localhost"},
                    // Logging in is no part of the site's name.
                    HostCase{"http://user:pw@Host.example:80/", "host.example"},
                    HostCase{"me@host.example/a@b", "host.example"},
                    HostCase{"http://a@b@c.example", "c.example"},
                    // What the address box takes as it is while the user types.
                    HostCase{"intranet", "intranet"}, HostCase{"a_b..example", "a_b..example"}));

TEST(SiteHost, AChineseHostBecomesItsAsciiFormAndOtherBytesStay)
{
    const struct
    {
        const char* label;
        text::Text address;
        text::Text host;
    } cases[] = {
        {"Chinese and ASCII letters in a label", "http://" + utf8ToGbk("中文ABC") + ".Example/",
         "xn--abc-u68do18h.example"},
        {"full-width dots", utf8ToGbk("例子。测试:8080"), "xn--fsqu00a.xn--0zwm56d"},
        // The second byte of 丂 is '@', which must not be read as the end of user information.
        {"a GBK character ending in '@'", "http://" + utf8ToGbk("丂X") + ".example/", "xn--x-3n6a.example"},
        // No host name: the bytes stay, ASCII letters lowered, as the box always gave them.
        {"not a host name", utf8ToGbk("中文_X.example"), utf8ToGbk("中文_x.example")},
        {"not GBK", "\x81\x20X.example", "\x81\x20x.example"},
        {"a lead byte at the end", "X.example\xFE", "x.example\xFE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(siteHost(c.address), c.host);
    }
}

TEST(ExpandTemplate, ReplacesEveryPlaceholderAndDropsTheFormatMarker)
{
    const struct
    {
        std::string line;
        std::string expanded;
    } cases[] = {
        {"http://whois.example/{$url}", "http://whois.example/my.site"},
        {"http://a.example/?q={$url}&r={$url}", "http://a.example/?q=my.site&r=my.site"},
        {utf8ToGbk("格式如：http://b.example/{$url}"), "http://b.example/my.site"},
        {utf8ToGbk("x格式如：y格式如：{$url}"), "xymy.site"},
        {"plain text", "plain text"},
        {"{$URL} stays", "{$URL} stays"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(expandTemplate(c.line, "my.site"), c.expanded);
    }
}

TEST(CollapseHost, TurnsTheHostBackIntoThePlaceholderWhateverItsCase)
{
    EXPECT_EQ(collapseHost("http://w.example/My.Site/x?my.site", "my.site"),
              "http://w.example/{$url}/x?{$url}");
    EXPECT_EQ(collapseHost("http://w.example/other.site", "my.site"), "http://w.example/other.site");
    EXPECT_EQ(collapseHost("http://w.example/x", ""), "http://w.example/x");
}

TEST(CollapseHost, RoundTripsExpansion)
{
    const std::string templ = "http://rank.example/site/{$url}/info?d={$url}";
    EXPECT_EQ(collapseHost(expandTemplate(templ, "www.my.site"), "www.my.site"), templ);
}

TEST(TemplateLines, FollowsTheFileFormat)
{
    const struct
    {
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb\nc", {"a\nb\nc"}},
        {"a\rb\r\n", {"a\rb"}},
        {"\r\n", {""}},
        {std::string("a\r\nb\0c\r\nd", 9), {"a", "b"}},
        {"\xEF\xBB\xBFhttp://x/{$url}", {"\xEF\xBB\xBFhttp://x/{$url}"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        EXPECT_EQ(templateLines(c.bytes), c.lines);
    }
}

TEST(CheckTemplateText, RefusesBinaryFilesAndTooManyEntries)
{
    using Check = TemplateTextCheck;
    const struct
    {
        const char* name;
        std::string bytes;
        std::size_t maxEntries;
        Check check;
    } cases[] = {
        {"empty", "", 3, Check::Ok},
        {"GBK text", "http://x/{$url}\r\n\xB2\xE2\xCA\xD4\r\n", 3, Check::Ok},
        {"NUL bytes padding the end", std::string("a\r\nb\0\0\0", 7), 3, Check::Ok},
        {"only NUL bytes", std::string(64, '\0'), 3, Check::Ok},
        {"text after a NUL byte", std::string("a\r\nb\0\r\nc", 8), 3, Check::NotText},
        {"UTF-16 with its byte-order mark", std::string("\xFF\xFEh\0t\0t\0p\0\r\0\n\0", 14), 3,
         Check::NotText},
        {"PNG picture", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16), 3, Check::NotText},
        {"as many entries as allowed", "a\r\n\r\nc\r\n", 3, Check::Ok},
        {"as many, no final CR LF", "a\r\n\r\nc", 3, Check::Ok},
        {"one entry too many", "a\r\n\r\nc\r\nd", 3, Check::TooManyEntries},
        {"an empty entry too many", "\r\n\r\n\r\n\r\n", 3, Check::TooManyEntries},
        {"lone LF separates nothing", "a\nb\nc\nd\ne", 3, Check::Ok},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(checkTemplateText(c.bytes, c.maxEntries), c.check);
    }
}

} // namespace
} // namespace tavrin::library
