// The checked reading of a site address typed on the command line: what is taken and the host
// it gives, and what is refused with which reason.
#include "library/site_address.h"
#include "text/utf8_sequence.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrin::library {
namespace {

using Problem = SiteAddressProblem;

// A host name of `labels` labels of `length` letters each.
std::string hostOf(int labels, std::size_t length)
{
    std::string host;
    for (int i = 0; i < labels; ++i)
        host += (i == 0 ? "" : ".") + std::string(length, 'a');
    return host;
}

// A label of `count` different Chinese characters, whose punycode takes 3 bytes a character
// after "xn--" and 3 more: 22 make a label of 63 bytes, 23 one too long.
std::string chineseLabel(int count)
{
    std::string label;
    for (int i = 0; i < count; ++i)
        text::appendUtf8(label, static_cast<char32_t>(0x4E00 + i * 97));
    return label;
}

TEST(SiteAddress, TakesWhatUsersTypeAndGivesTheHostInItsAsciiForm)
{
    const struct
    {
        std::string typed;
        std::string host;
        std::string url;
    } cases[] = {
        {"www.example.com", "www.example.com", "http://www.example.com"},
        {" \t HTTPS://WWW.Example.COM:8443/Path?Q=1#Top \r\n", "www.example.com",
         "https://www.example.com:8443/Path?Q=1#Top"},
        {"http://user:pw@host.example/", "host.example", "http://host.example/"},
        {"user@host.example", "host.example", "http://host.example"},
        {"a.example?x=1", "a.example", "http://a.example?x=1"},
        {"a.example/?go=http://b.example", "a.example", "http://a.example/?go=http://b.example"},
        {"a.example.", "a.example", "http://a.example"},
        {"my-site2.example", "my-site2.example", "http://my-site2.example"},
        {"例子.测试", "xn--fsqu00a.xn--0zwm56d", "http://xn--fsqu00a.xn--0zwm56d"},
        {"中文.com", "xn--fiq228c.com", "http://xn--fiq228c.com"},
        {"http://例子。测试/路径", "xn--fsqu00a.xn--0zwm56d", "http://xn--fsqu00a.xn--0zwm56d/路径"},
        {"例子．测试", "xn--fsqu00a.xn--0zwm56d", "http://xn--fsqu00a.xn--0zwm56d"},
        {"例子｡测试", "xn--fsqu00a.xn--0zwm56d", "http://xn--fsqu00a.xn--0zwm56d"},
        {"\xE3\x80\x80例子.测试\xE3\x80\x80", "xn--fsqu00a.xn--0zwm56d", "http://xn--fsqu00a.xn--0zwm56d"},
        {"ＷＷＷ.中文ＡＢＣ.com", "www.xn--abc-u68do18h.com", "http://www.xn--abc-u68do18h.com"},
        {"XN--FSQU00A.xn--0zwm56d", "xn--fsqu00a.xn--0zwm56d", "http://xn--fsqu00a.xn--0zwm56d"},
        {"bücher.example", "xn--bcher-kva.example", "http://xn--bcher-kva.example"},
        {"192.0.2.1:8080", "192.0.2.1", "http://192.0.2.1:8080"},
        {"0.0.0.0", "0.0.0.0", "http://0.0.0.0"},
        {"localhost", "localhost", "http://localhost"},
        {"LOCALHOST:80", "localhost", "http://localhost:80"},
        {"123.example", "123.example", "http://123.example"},
        {hostOf(1, 63) + ".example", hostOf(1, 63) + ".example", "http://" + hostOf(1, 63) + ".example"},
        {chineseLabel(22) + ".example",
         "xn--4gq0ilk2mupyshviyp0az1ar4aj7abzb20bu3bm5be8b5xcxycp1ch2c84c.example",
         "http://xn--4gq0ilk2mupyshviyp0az1ar4aj7abzb20bu3bm5be8b5xcxycp1ch2c84c.example"},
        // 4 x 63 + 3 dots = 255 bytes is too long; 3 x 63 + 61 + 3 = 253 is not.
        {hostOf(3, 63) + "." + std::string(61, 'b'), hostOf(3, 63) + "." + std::string(61, 'b'),
         "http://" + hostOf(3, 63) + "." + std::string(61, 'b')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        const SiteAddressCheck checked = checkSiteAddress(c.typed);
        ASSERT_TRUE(checked.address) << static_cast<int>(checked.problem);
        EXPECT_EQ(checked.address->host, c.host);
        EXPECT_EQ(checked.address->url(), c.url);
        EXPECT_EQ(checkSiteHost(c.host).host, c.host) << "the ASCII form reads as itself";
    }
}

TEST(SiteAddress, RefusesWhatNamesNoSiteWithTheReason)
{
    const struct
    {
        std::string typed;
        Problem problem;
    } cases[] = {
        {"", Problem::NoHost},
        {"  \t ", Problem::NoHost},
        {"http://", Problem::NoHost},
        {"http:///path", Problem::NoHost},
        {"https://user:pw@/", Problem::NoHost},
        {"http://:8080/", Problem::NoHost},
        {"http:a.example", Problem::NoHost},
        {"not a site", Problem::Blank},
        {"a.example/my page", Problem::Blank},
        {"例子\xE3\x80\x80测试.com", Problem::Blank},
        {std::string("a.exa\0mple", 10), Problem::Blank},
        {"ftp://a.example", Problem::Scheme},
        {"javascript://a.example", Problem::Scheme},
        {"mailto:me@a.example", Problem::Scheme},
        {"a_b.example", Problem::BadCharacter},
        {"a!.example", Problem::BadCharacter},
        {"[::1]", Problem::BadCharacter},
        {"a.example\\x", Problem::BadCharacter},
        {"例子，测试.com", Problem::BadCharacter},
        {"【例子】.com", Problem::BadCharacter},
        {"a\xE2\x80\x8B.example", Problem::BadCharacter}, // a zero-width space
        {"\xFF\xFE.example", Problem::BadCharacter},
        {"\xC0\xFD\xD7\xD3.example", Problem::BadCharacter}, // GBK bytes, not UTF-8
        {"a..b", Problem::EmptyLabel},
        {".a.example", Problem::EmptyLabel},
        {"a.example..", Problem::EmptyLabel},
        {"例子。。测试", Problem::EmptyLabel},
        {hostOf(1, 64) + ".example", Problem::LongLabel},
        {chineseLabel(23) + ".example", Problem::LongLabel},
        {hostOf(4, 63), Problem::LongName},
        {hostOf(200, 1), Problem::LongName},
        {"-a.example", Problem::Hyphen},
        {"a-.example", Problem::Hyphen},
        {"a.-", Problem::Hyphen},
        {"xn--.example", Problem::BadAceLabel},
        {"xn--99999a.example", Problem::BadAceLabel},
        {"xn--abc-.example", Problem::BadAceLabel}, // the ASCII label abc written as punycode
        {"xn--56j.example", Problem::BadAceLabel},  // 【 written as punycode
        {"a.example:", Problem::BadPort},
        {"a.example:0", Problem::BadPort},
        {"a.example:65536", Problem::BadPort},
        {"a.example:123456", Problem::BadPort},
        {"a.example:http", Problem::BadPort},
        {"a.example:-1", Problem::BadPort},
        {"1.2.3", Problem::BadIpv4},
        {"1.2.3.4.5", Problem::BadIpv4},
        {"1.2.3.256", Problem::BadIpv4},
        {"01.2.3.4", Problem::BadIpv4},
        {"a.123", Problem::BadIpv4},
        {"12345", Problem::BadIpv4},
        {"intranet", Problem::SingleLabel},
        {"http://例子/", Problem::SingleLabel},
        {"www", Problem::SingleLabel},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.typed));
        const SiteAddressCheck checked = checkSiteAddress(c.typed);
        EXPECT_FALSE(checked.address) << checked.address->host;
        EXPECT_EQ(checked.problem, c.problem);
    }
}

} // namespace
} // namespace tavrin::library
