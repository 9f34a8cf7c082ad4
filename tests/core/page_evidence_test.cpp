// Tests of reading a fetched page: choosing and decoding its character set, and the evidence
// (title, mention of the site, link to the site) read from it, including bodies built to make
// the parser slow or crash.
//
// Bytes of other encodings are written as escapes (a literal is split, "\xB0" "abc", wherever
// a hex digit follows an escape); plain text in literals is UTF-8, as this source is.
#include "submit/page_evidence.h"
#include "text/charset.h"
#include "text/encoding.h"
#include "text/utf8_sequence.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace tavrin {
namespace {

using namespace std::string_literals;
using submit::PageEvidence;
using submit::readPageEvidence;
using text::CharsetSource;

constexpr std::size_t kMiB = std::size_t{1024} * 1024;
constexpr const char* kSite = "www.mysite.com";
constexpr const char* kElsewhere = "http://whois.example.net/q?d=www.mysite.com";

template <typename Case> std::string caseName(const testing::TestParamInfo<Case>& info)
{
    return info.param.label;
}

std::string repeatTo(std::string_view unit, std::size_t bytes)
{
    std::string result;
    result.reserve(bytes + unit.size());
    while (result.size() < bytes)
        result += unit;
    result.resize(bytes);
    return result;
}

// Strict UTF-8 check, written out here so that it does not lean on the code under test.
bool isValidUtf8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const auto first = static_cast<unsigned char>(text[at]);
        std::size_t length = first < 0x80                     ? 1
                             : first >= 0xC2 && first <= 0xDF ? 2
                             : first >= 0xE0 && first <= 0xEF ? 3
                             : first >= 0xF0 && first <= 0xF4 ? 4
                                                              : 0;
        if (length == 0 || at + length > text.size())
            return false;
        std::uint32_t value = length == 1 ? first : first & (0xFF >> (length + 1));
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (next & 0x3F);
        }
        const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        at += length;
    }
    return true;
}

// The UTF-16LE bytes of a text (what a page saved as "Unicode" holds).
std::string utf16le(std::u16string_view text)
{
    std::string bytes;
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// Encoding labels

struct LabelCase
{
    std::string label;
    std::string written;
    std::optional<std::string> iconvName;
};

void PrintTo(const LabelCase& c, std::ostream* os)
{
    *os << c.label;
}

class CharsetLabelTest : public testing::TestWithParam<LabelCase>
{
};

TEST_P(CharsetLabelTest, NamesTheDecoder)
{
    EXPECT_EQ(text::charsetForLabel(GetParam().written), GetParam().iconvName);
}

INSTANTIATE_TEST_SUITE_P(
    Labels, CharsetLabelTest,
    testing::Values(
        // The GB family is all read as GB18030, the superset of them all.
        LabelCase{"Gb2312", "gb2312", "GB18030"}, LabelCase{"GbkUpperCase", "GBK", "GB18030"},
        LabelCase{"XGbk", "x-gbk", "GB18030"}, LabelCase{"Padded", "  utf-8 ", "UTF-8"},
        LabelCase{"Utf8WithoutDash", "UTF8", "UTF-8"}, LabelCase{"ShiftJis", "Shift_JIS", "CP932"},
        LabelCase{"Big5", "big5", "BIG5-HKSCS"}, LabelCase{"Latin1IsWindows1252", "ISO-8859-1", "CP1252"},
        // Names outside the table go to iconv as written.
        LabelCase{"Koi8rThroughIconv", "koi8-r", "KOI8-R"},
        LabelCase{"EucJpThroughIconv", "euc-jp", "EUC-JP"},
        // iconv knows these, but an ASCII page cannot be written in them.
        LabelCase{"Ucs4IsNotAsciiCompatible", "ucs-4", std::nullopt},
        LabelCase{"Ebcdic", "ibm037", std::nullopt}, LabelCase{"Unknown", "no-such-charset", std::nullopt},
        LabelCase{"Empty", "", std::nullopt},
        // iconv would read the suffix as an instruction, not as part of the name.
        LabelCase{"IconvSuffix", "utf-8//IGNORE", std::nullopt},
        LabelCase{"CommaList", "gbk,utf-8", std::nullopt}),
    caseName<LabelCase>);

TEST(ContentTypeCharset, ReadsTheParameter)
{
    const struct
    {
        const char* contentType;
        const char* charset;
    } cases[] = {
        {"text/html; charset=gbk", "gbk"},
        {"text/html;charset=\"UTF-8\"", "UTF-8"},
        {"text/html; Charset = big5 ; q=1", "big5"},
        {"text/html; name=charset; charset=utf-8", "utf-8"},
        {"text/html; charset=gb2312, text/html", "gb2312"},
        {"text/html", ""},
        {"", ""},
        {"text/html; charset=", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contentType);
        EXPECT_EQ(text::contentTypeCharset(c.contentType), c.charset);
    }
}

// ---------------------------------------------------------------------------------------------
// Choosing a page's character set

struct PickCase
{
    std::string label;
    std::string body;
    std::string contentType;
    std::string charset;
    CharsetSource source;
};

void PrintTo(const PickCase& c, std::ostream* os)
{
    *os << c.label;
}

class PickCharsetTest : public testing::TestWithParam<PickCase>
{
};

TEST_P(PickCharsetTest, FollowsTheStrongestEvidence)
{
    const PickCase& c = GetParam();
    const text::PickedCharset picked = text::pickCharset(c.body, c.contentType);
    EXPECT_EQ(picked.name, c.charset);
    EXPECT_EQ(picked.source, c.source);
}

const std::string kGbkTitle = "<title>\xD6\xD0\xCE\xC4\xB1\xEA\xCC\xE2</title>"; // 中文标题

INSTANTIATE_TEST_SUITE_P(
    Pages, PickCharsetTest,
    testing::Values(
        PickCase{"HeaderWins", "<meta charset=big5>" + kGbkTitle, "text/html; charset=gbk", "GB18030",
                 CharsetSource::ContentType},
        // A byte-order mark cannot be there by accident; browsers let it override the header.
        PickCase{"ByteOrderMarkBeatsHeader", "\xEF\xBB\xBF<title>中文</title>", "text/html; charset=gbk",
                 "UTF-8", CharsetSource::ByteOrderMark},
        PickCase{"Utf16Mark", "\xFF\xFE<\0t\0"s, "", "UTF-16LE", CharsetSource::ByteOrderMark},
        PickCase{"UnknownHeaderFallsThroughToMeta", "<meta charset=\"gbk\">" + kGbkTitle,
                 "text/html; charset=klingon", "GB18030", CharsetSource::MetaTag},
        PickCase{"MetaCharset", "<html><head><meta charset=Big5>", "text/html", "BIG5-HKSCS",
                 CharsetSource::MetaTag},
        PickCase{"MetaHttpEquiv", "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=shift_jis'>",
                 "", "CP932", CharsetSource::MetaTag},
        PickCase{"ContentWithoutHttpEquivIsNoDeclaration",
                 "<meta name=x content='text/html; charset=big5'>" + kGbkTitle, "", "GB18030",
                 CharsetSource::Fallback},
        // The page's declaration is in ASCII, so it cannot really be UTF-16.
        PickCase{"MetaUtf16MeansUtf8", "<meta charset=utf-16><title>中文</title>", "", "UTF-8",
                 CharsetSource::MetaTag},
        PickCase{"MetaInCommentIgnored", "<!-- <meta charset=big5> -->" + kGbkTitle, "", "GB18030",
                 CharsetSource::Fallback},
        PickCase{"MetaInsideAttributeIgnored", "<img alt='<meta charset=big5>'>" + kGbkTitle, "", "GB18030",
                 CharsetSource::Fallback},
        PickCase{"MetaPastFirstKilobyteIgnored", std::string(1100, ' ') + "<meta charset=big5>" + kGbkTitle,
                 "", "GB18030", CharsetSource::Fallback},
        PickCase{"UndeclaredUtf8", "<title>中文标题</title>", "text/html", "UTF-8", CharsetSource::ValidUtf8},
        PickCase{"UndeclaredAscii", "<title>plain</title>", "", "UTF-8", CharsetSource::ValidUtf8},
        PickCase{"UndeclaredGb2312", kGbkTitle, "", "GB18030", CharsetSource::Fallback},
        // Real UTF-8 with a character cut by the site's software is still UTF-8, and so is a
        // body cut off in the middle of its last character.
        PickCase{"Utf8WithStrayByte", "<title>" + repeatTo("中文标题", 120) + "\xE4\xB8</title>", "", "UTF-8",
                 CharsetSource::ValidUtf8},
        PickCase{"Utf8CutAtEnd", "<title>中文标题</title>\xE4\xB8", "", "UTF-8", CharsetSource::ValidUtf8}),
    caseName<PickCase>);

// ---------------------------------------------------------------------------------------------
// Decoding

struct DecodeCase
{
    std::string label;
    std::string bytes;
    std::string charset;
    std::string utf8;
};

void PrintTo(const DecodeCase& c, std::ostream* os)
{
    *os << c.label;
}

class DecodeTest : public testing::TestWithParam<DecodeCase>
{
};

TEST_P(DecodeTest, GivesUtf8WithReplacements)
{
    EXPECT_EQ(text::decodeToUtf8(GetParam().bytes, GetParam().charset), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DecodeTest,
    testing::Values(DecodeCase{"Gbk", "\xD6\xD0\xCE\xC4", "gbk", "中文"},
                    // A lead byte without its second byte spoils only itself, never the ASCII after it.
                    DecodeCase{"GbkBrokenLeadKeepsAscii", "\xD6<a>", "gbk", "\uFFFD<a>"},
                    DecodeCase{"GbkCutAtEnd", "a\xD6", "gbk", "a\uFFFD"},
                    // The second byte of the last character is 'T', which must not be read as ASCII.
                    DecodeCase{"Big5AsciiSecondByte", "\xBA\xF4\xAF\xB8\xB8\xEA\xB0\x54", "big5", "網站資訊"},
                    DecodeCase{"ShiftJis", "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x79\x81\x5B\x83\x57",
                               "shift_jis", "日本語のページ"},
                    DecodeCase{"Windows1252Euro", "\x80", "iso-8859-1", "€"},
                    DecodeCase{"Utf8MarkDropped", "\xEF\xBB\xBFx", "utf-8", "x"},
                    DecodeCase{"Utf16MarkDropped", "\xFF\xFEx\0"s, "utf-16le", "x"},
                    DecodeCase{"Utf16OddByteAtEnd", "x\0y"s, "utf-16le", "x\uFFFD"},
                    // A broken unit costs one unit; the text after it stays in step.
                    DecodeCase{"Utf16LoneSurrogate",
                               "a\0\x00\xD8"
                               "b\0"s,
                               "utf-16le", "a\uFFFDb"},
                    // One replacement for each piece that cannot become a character, as browsers show it.
                    DecodeCase{"Utf8Overlong", "a\xC0\xAFz", "utf-8", "a\uFFFD\uFFFDz"},
                    DecodeCase{"Utf8Surrogate", "\xED\xA0\x80", "utf-8", "\uFFFD\uFFFD\uFFFD"},
                    DecodeCase{"Utf8TruncatedSequence", "\xE4\xB8z", "utf-8", "\uFFFDz"},
                    DecodeCase{"UnknownNameUtf8Bytes", "中文", "klingon", "中文"},
                    DecodeCase{"UnknownNameGbkBytes", "\xD6\xD0\xCE\xC4", "klingon", "中文"}),
    caseName<DecodeCase>);

TEST(Decode, AnyBytesGiveValidUtf8InEveryEncoding)
{
    std::mt19937 random(7);
    std::string bytes(std::size_t{64} * 1024, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random());
    for (const char* charset : {"utf-8", "gbk", "big5", "shift_jis", "euc-kr", "utf-16le", "utf-16be",
                                "iso-2022-jp", "koi8-r", "windows-1252", "klingon"}) {
        SCOPED_TRACE(charset);
        const std::string decoded = text::decodeToUtf8(bytes, charset);
        EXPECT_TRUE(isValidUtf8(decoded));
        EXPECT_GE(decoded.size(), bytes.size() / 4);
    }
}

// ---------------------------------------------------------------------------------------------
// Title

struct TitleCase
{
    std::string label;
    std::string body;
    std::string contentType;
    std::string title;
};

void PrintTo(const TitleCase& c, std::ostream* os)
{
    *os << c.label;
}

class EvidenceTitleTest : public testing::TestWithParam<TitleCase>
{
};

TEST_P(EvidenceTitleTest, ReadsTheTitleInUtf8)
{
    const TitleCase& c = GetParam();
    EXPECT_EQ(readPageEvidence(c.body, c.contentType, kElsewhere, kSite).titleUtf8, c.title);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, EvidenceTitleTest,
    testing::Values(
        // The page ends inside a tag the parser does not know (AddressSanitizer builds also see
        // that the parser frees the tag it gives up).
        TitleCase{"EndsInsideAnUnknownTag", "<title>t</title><custom-tag a=1", "", "t"},
        TitleCase{"Utf8ByHeader", "<html><head><title>网站信息</title></head></html>",
                  "text/html; charset=UTF-8", "网站信息"},
        TitleCase{"GbkByMeta", "<meta charset=gbk>" + kGbkTitle, "text/html", "中文标题"},
        TitleCase{"Gb2312Undeclared", "<html><head>" + kGbkTitle, "", "中文标题"},
        TitleCase{"Big5ByHeader", "<title>\xBA\xF4\xAF\xB8\xB8\xEA\xB0\x54</title>",
                  "text/html; charset=big5", "網站資訊"},
        TitleCase{"ShiftJisByMeta",
                  "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\"><title>"
                  "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x79\x81\x5B\x83\x57</title>",
                  "", "日本語のページ"},
        TitleCase{"Utf8ByteOrderMark", "\xEF\xBB\xBF<title>网站</title>", "text/html; charset=gb2312",
                  "网站"},
        TitleCase{"Utf16ByteOrderMark", "\xFF\xFE" + utf16le(u"<title>中文标题</title>"), "", "中文标题"},
        TitleCase{"WhiteSpaceCollapsed", "<title>\n  Site \t\r\n Info  </title>", "", "Site Info"},
        TitleCase{"EntitiesDecoded", "<title>A &amp; B &lt;3&gt;</title>", "", "A & B <3>"},
        TitleCase{"FirstTitleWins", "<title>one</title><body><title>two</title>", "", "one"},
        TitleCase{"TitleOfAnEmbeddedDrawingIsNotThePagesTitle",
                  "<body><svg><title>drawing</title></svg><title>page</title>", "", "page"},
        TitleCase{"NoTitle", "<html><body>text</body></html>", "", ""},
        TitleCase{"UnclosedTitle", "<title>runs to the end", "", "runs to the end"}),
    caseName<TitleCase>);

TEST(EvidenceTitle, IsCutToTheLimitOnACharacterBoundary)
{
    // About a megabyte of three-byte characters: 512 is not a multiple of three.
    const std::string body = "<title>" + repeatTo("中", std::size_t{3} * 350'000) + "</title>";
    const std::string title = readPageEvidence(body, "text/html; charset=utf-8", kElsewhere, kSite).titleUtf8;
    EXPECT_EQ(title.size(), submit::kMaxTitleBytes / 3 * 3);
    EXPECT_TRUE(isValidUtf8(title));
}

// ---------------------------------------------------------------------------------------------
// Mention

struct MentionCase
{
    std::string label;
    std::string body;
    std::string contentType;
    std::string siteHost; // GBK, as the address box gives it
    bool mentions;
};

void PrintTo(const MentionCase& c, std::ostream* os)
{
    *os << c.label;
}

class EvidenceMentionTest : public testing::TestWithParam<MentionCase>
{
};

TEST_P(EvidenceMentionTest, FindsTheHostInThePageText)
{
    const MentionCase& c = GetParam();
    EXPECT_EQ(readPageEvidence(c.body, c.contentType, kElsewhere, c.siteHost).mentionsSite, c.mentions);
}

const std::string kChineseHostGbk = "\xD6\xD0\xCE\xC4.com"; // 中文.com
// The same name as the address box and the command line give it.
const std::string kChineseHostAce = "xn--fiq228c.com";

INSTANTIATE_TEST_SUITE_P(
    Pages, EvidenceMentionTest,
    testing::Values(
        MentionCase{"Exact", "<p>Report for www.mysite.com</p>", "", kSite, true},
        MentionCase{"UpperCase", "<p>WWW.MySite.COM</p>", "", kSite, true},
        MentionCase{"InAttributeOnly", "<img alt='www.mysite.com'>", "", kSite, true},
        MentionCase{"PercentEncodedHost", "<a href='/go?h=www%2Emysite%2ecom'>", "", kSite, true},
        MentionCase{"HostOnlyInsideEncodedUrl", "/r?u=http%3A%2F%2Fwww%2Emysite%2Ecom%2Fpage", "", kSite,
                    true},
        MentionCase{"EncodedUpperCaseLetters", "q=%57%57%57.MYSITE.com", "", kSite, true},
        MentionCase{"Absent", "<p>www.othersite.com and www.mysite.co</p>", "", kSite, false},
        MentionCase{"SplitByMarkup", "<p>www.<b>mysite</b>.com</p>", "", kSite, false},
        // The page writes the text of the host; a byte search cannot know, and should not
        // guess, whether the letters before it belong to the same name.
        MentionCase{"InsideALongerHost", "<p>notwww.mysite.com</p>", "", kSite, true},
        MentionCase{"ChineseHostInUtf8Page", "<p>中文.com</p>", "text/html; charset=utf-8", kChineseHostGbk,
                    true},
        MentionCase{"ChineseHostInGbkPage", "<p>\xD6\xD0\xCE\xC4.com</p>", "text/html; charset=gbk",
                    kChineseHostGbk, true},
        MentionCase{"ChineseHostPercentEncodedUtf8", "u=%E4%B8%AD%E6%96%87.com", "", kChineseHostGbk, true},
        MentionCase{"ChineseHostPercentEncodedGbk", "u=%D6%D0%CE%C4.com", "", kChineseHostGbk, true},
        MentionCase{"ChineseHostAsPunycode", "<p>XN--FIQ228C.com</p>", "", kChineseHostGbk, true},
        MentionCase{"ChineseHostAbsent", "<p>中国.com</p>", "text/html; charset=utf-8", kChineseHostGbk,
                    false},
        MentionCase{"AceHostInUtf8Page", "<p>中文.com</p>", "text/html; charset=utf-8", kChineseHostAce,
                    true},
        MentionCase{"AceHostInGbkPage", "<p>\xD6\xD0\xCE\xC4.COM</p>", "text/html; charset=gbk",
                    kChineseHostAce, true},
        MentionCase{"AceHostPercentEncodedUtf8", "u=%E4%B8%AD%E6%96%87.com", "", kChineseHostAce, true},
        MentionCase{"AceHostPercentEncodedGbk", "u=%D6%D0%CE%C4.com", "", kChineseHostAce, true},
        MentionCase{"AceHostAsItself", "<p>Xn--Fiq228c.COM</p>", "", kChineseHostAce, true},
        MentionCase{"AceHostAbsent", "<p>中国.com xn--fiq228c.co</p>", "text/html; charset=utf-8",
                    kChineseHostAce, false},
        // A label that only looks like punycode is looked for as it is.
        MentionCase{"NotPunycodeHost", "<p>xn--9999999999a.com</p>", "", "xn--9999999999a.com", true},
        MentionCase{"EmptySiteHost", "<p>www.mysite.com</p>", "", "", false}),
    caseName<MentionCase>);

// ---------------------------------------------------------------------------------------------
// Link

struct LinkCase
{
    std::string label;
    std::string body;
    std::string finalUrl;
    std::string siteHost = kSite;
    bool links = true;
};

void PrintTo(const LinkCase& c, std::ostream* os)
{
    *os << c.label;
}

class EvidenceLinkTest : public testing::TestWithParam<LinkCase>
{
};

TEST_P(EvidenceLinkTest, JudgesWhereTheLinksLead)
{
    const LinkCase& c = GetParam();
    EXPECT_EQ(readPageEvidence(c.body, "text/html", c.finalUrl, c.siteHost).linksToSite, c.links);
}

const std::string kOnSite = "http://www.mysite.com/dir/page.html";

// The attributes of a tag: " a0 a1 ..." up to `count` of them.
std::string attributeList(int count)
{
    std::string list;
    for (int i = 0; i < count; ++i)
        list += " a" + std::to_string(i);
    return list;
}

INSTANTIATE_TEST_SUITE_P(
    Pages, EvidenceLinkTest,
    testing::Values(
        LinkCase{"ToTheHost", "<a href='http://www.mysite.com/'>x</a>", kElsewhere},
        LinkCase{"Https", "<a href=https://www.mysite.com:8443/a?b#c>x</a>", kElsewhere},
        LinkCase{"UpperCaseHost", "<a href='HTTP://WWW.MYSITE.COM/'>x</a>", kElsewhere},
        LinkCase{"HostWithFinalDot", "<a href='http://www.mysite.com./'>x</a>", kElsewhere},
        LinkCase{"ToASubdomain", "<a href='http://blog.mysite.com/'>x</a>", kElsewhere, "mysite.com"},
        LinkCase{"SurroundedByBlanksAndBroken", "<a href='\n  http://www.mysite.\ncom/ \t'>x</a>",
                 kElsewhere},
        // Browsers read backslashes as slashes in web addresses.
        LinkCase{"Backslashes", "<a href='http:\\\\www.mysite.com\\'>x</a>", kElsewhere},
        LinkCase{"ProtocolRelative", "<a href='//www.mysite.com/'>x</a>", kElsewhere},
        LinkCase{"DrawingLink", "<svg><a xlink:href='http://www.mysite.com/'><text>x</text></a></svg>",
                 kElsewhere},
        LinkCase{"ImageMapArea", "<map><area href='http://www.mysite.com/' alt=x></map>", kElsewhere},
        LinkCase{"SecondOfMany", "<a href=/a>a</a><a href='http://www.mysite.com/'>b</a><a href=/c>c</a>",
                 kElsewhere},
        LinkCase{"RelativeOnTheSite", "<a href='other.html'>x</a>", kOnSite},
        LinkCase{"EmptyHrefOnTheSite", "<a href=''>x</a>", kOnSite},
        LinkCase{"BaseOnTheSite", "<base href='http://www.mysite.com/'><a href='page.html'>x</a>",
                 kElsewhere},
        LinkCase{"BaseAfterTheLink", "<a href='page.html'>x</a><base href='http://www.mysite.com/'>",
                 kElsewhere},
        LinkCase{"ChineseHostPunycodeLink", "<a href='http://xn--fiq228c.com/'>x</a>", kElsewhere,
                 kChineseHostGbk},
        LinkCase{"ChineseHostUnicodeLink", "<a href='http://中文.com/'>x</a>", kElsewhere, kChineseHostGbk},
        LinkCase{"AceHostUnicodeLink", "<a href='http://www.中文.com/'>x</a>", kElsewhere, kChineseHostAce},
        // Past the depth and the number of attributes at which the parser would stop by default
        // (400), inside one piece of the page.
        LinkCase{"BehindDeepNesting", repeatTo("<div>", 3000) + "<a href='http://www.mysite.com/'>x</a>",
                 kElsewhere},
        LinkCase{"HrefAfterManyAttributes",
                 "<a" + attributeList(500) + " href='http://www.mysite.com/'>x</a>", kElsewhere},
        // Not links to the site.
        LinkCase{"RelativeElsewhere", "<a href='/www.mysite.com'>x</a>", kElsewhere, kSite, false},
        LinkCase{"SameEndingNoDot", "<a href='http://evilwww.mysite.com/'>x</a>", kElsewhere, kSite, false},
        LinkCase{"HostAsPrefix", "<a href='http://www.mysite.com.evil.net/'>x</a>", kElsewhere, kSite, false},
        LinkCase{"HostAsUserName", "<a href='http://www.mysite.com@evil.net/'>x</a>", kElsewhere, kSite,
                 false},
        LinkCase{"HostInQuery", "<a href='http://evil.net/?u=http://www.mysite.com/'>x</a>", kElsewhere,
                 kSite, false},
        LinkCase{"JavaScript", "<a href=\"javascript:location='http://www.mysite.com/'\">x</a>", kElsewhere,
                 kSite, false},
        LinkCase{"Mail", "<a href='mailto:admin@www.mysite.com'>x</a>", kElsewhere, kSite, false},
        LinkCase{"OtherScheme", "<a href='ftp://www.mysite.com/'>x</a>", kElsewhere, kSite, false},
        LinkCase{"BaseElsewhereOnSitePage", "<base href='http://evil.net/'><a href='p.html'>x</a>", kOnSite,
                 kSite, false},
        LinkCase{"TextOnly", "<a>http://www.mysite.com/</a><p>http://www.mysite.com/</p>", kElsewhere, kSite,
                 false},
        LinkCase{"OtherElement", "<link href='http://www.mysite.com/x.css' rel=stylesheet>", kElsewhere,
                 kSite, false},
        LinkCase{"CommentedOut", "<!-- <a href='http://www.mysite.com/'>x</a> -->", kElsewhere, kSite, false},
        LinkCase{"EmptySiteHost", "<a href='http://www.mysite.com/'>x</a>", kElsewhere, "", false}),
    caseName<LinkCase>);

// Pages are parsed in pieces; wherever the link falls, no cut may lose it. The link is moved in
// steps shorter than its tag, so any cut at a fixed offset up to 17 KiB would split it once.
TEST(EvidenceLink, IsFoundWhereverItFallsInThePage)
{
    const std::string filler = "<p class=x>Some text, <b>bold</b> and <a href=/q>a link</a>.</p>\n";
    const std::string link = "<a href='http://www.mysite.com/'>site</a>";
    for (std::size_t before = 0; before < std::size_t{17} * 1024; before += 37) {
        SCOPED_TRACE(before);
        // Whole copies of the filler, then plain text to put the link at exactly `before`.
        std::string page = "<html><head><title>t</title></head><body>";
        while (page.size() + filler.size() <= before)
            page += filler;
        page.append(before - std::min(before, page.size()), 'x');
        page += link;
        while (page.size() < before + std::size_t{2} * 1024)
            page += filler;
        const PageEvidence evidence = readPageEvidence(page, "text/html", kElsewhere, kSite);
        EXPECT_TRUE(evidence.linksToSite);
        EXPECT_EQ(evidence.titleUtf8, "t");
    }
}

// The mention is searched in all of the body; titles and links only in its first megabyte.
TEST(PageEvidence, SearchesTheWholeBodyButParsesOnlyItsStart)
{
    const std::string body = "<title>t</title>" + repeatTo("<p>filler text</p>", 3 * kMiB) +
                             "<a href='http://www.mysite.com/'>www.mysite.com</a>";
    const PageEvidence evidence = readPageEvidence(body, "text/html", kElsewhere, kSite);
    EXPECT_TRUE(evidence.mentionsSite);
    EXPECT_FALSE(evidence.linksToSite);
    EXPECT_EQ(evidence.titleUtf8, "t");
}

TEST(PageEvidence, EmptyBodyGivesNoEvidence)
{
    const PageEvidence evidence = readPageEvidence("", "text/html", kOnSite, kSite);
    EXPECT_EQ(evidence.titleUtf8, "");
    EXPECT_FALSE(evidence.mentionsSite);
    EXPECT_FALSE(evidence.linksToSite);
}

// ---------------------------------------------------------------------------------------------
// Hostile bodies: every one must finish, quickly, without crashing. gumbo given all of one at
// once takes minutes on the nested patterns, and the copying ones make it build gigabytes of tree.

struct HostileCase
{
    std::string label;
    std::function<std::string()> body;
    std::string title;
};

void PrintTo(const HostileCase& c, std::ostream* os)
{
    *os << c.label;
}

// A paragraph holding `elements` distinct formatting elements, then `paragraphs` paragraphs of
// text: the text of each makes the parser open a copy of every one of the elements again.
std::string reopenedFormatting(int elements, int paragraphs)
{
    std::string markup = "<p>";
    for (int i = 0; i < elements; ++i)
        markup += "<b a" + std::to_string(i) + ">";
    return markup + repeatTo("<p>x", 4 * static_cast<std::size_t>(paragraphs));
}

// Realistic markup without a title: a result page of a query service, with navigation, tables,
// forms and text, that names the site without linking to it.
std::string realisticBody(std::size_t bytes)
{
    const std::string block =
        "<div class=\"nav\"><ul><li><a href=\"/whois/\">域名查询</a></li><li><a href=\"/seo/\">SEO综合"
        "</a></li><li><a href=\"http://other.example/x?y=1\">其他</a></li></ul></div><table "
        "class=\"result\"><tr><th>项目</th><th>结果</th></tr><tr><td><b>www.mysite.com</b></td><td><span "
        "class=\"v\">3</span> <img src=\"/i.png\" alt=\"x\"></td></tr><tr><td>收录</td><td><a "
        "href=\"http://s.example/?q=site:www.mysite.com\" target=_blank>12,345</a></td></tr></table><p>说明"
        "文字，<em>强调</em>和<strong>加粗</strong>，还有<br>换行。</p><form action=/q><input name=q "
        "value=\"\"><button>查询</button></form>\n";
    return repeatTo(block, bytes);
}

// Processor time of the calling thread, so that other work on the machine does not count.
double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// What reading a real page of 8 MiB costs this build: all of its first megabyte is parsed, as
// it names the site without linking to it.
double realisticPageSeconds()
{
    static const double seconds = [] {
        const std::string head =
            "<!DOCTYPE html><html><head><meta charset=utf-8><title>网站综合查询 - 站长工具"
            "</title><script>var a = 1; function f() { return '<div>'; }</script>"
            "<style>.a { color: red }</style></head><body>";
        const std::string body = head + realisticBody(8 * kMiB - head.size());
        const double start = threadSeconds();
        const PageEvidence evidence = readPageEvidence(body, "", kElsewhere, kSite);
        const double took = threadSeconds() - start;
        EXPECT_TRUE(evidence.mentionsSite);
        EXPECT_FALSE(evidence.linksToSite);
        return took;
    }();
    return seconds;
}

class EvidenceHostileTest : public testing::TestWithParam<HostileCase>
{
};

TEST_P(EvidenceHostileTest, FinishesInBoundedTime)
{
    const std::string body = GetParam().body();
    const auto start = std::chrono::steady_clock::now();
    const double startCpu = threadSeconds();
    const PageEvidence evidence = readPageEvidence(body, "", kElsewhere, kSite);
    const double cpu = threadSeconds() - startCpu;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    // Well under half a second in a plain build. The bound is no speed bar: it only tells a
    // bounded read (seconds at worst under ThreadSanitizer) from the unbounded one, which takes
    // minutes for one megabyte and hours for eight.
    EXPECT_LT(took.count(), 30.0);
    // Nor may a page built to be slow cost a worker much more than a real page of its size
    // (some ten times at most here; sanitizers slow both alike): a service that answers with
    // one would otherwise hold a processor for seconds on every row.
    EXPECT_LT(cpu, 25 * realisticPageSeconds()) << "real page: " << realisticPageSeconds() << " s";
    EXPECT_EQ(evidence.titleUtf8, GetParam().title);
    EXPECT_FALSE(evidence.mentionsSite);
    EXPECT_FALSE(evidence.linksToSite);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, EvidenceHostileTest,
    testing::Values(HostileCase{"NestedDivs", [] { return repeatTo("<div>", 8 * kMiB); }, ""},
                    HostileCase{"NestedFormatting", [] { return repeatTo("<b><i>x", 8 * kMiB); }, ""},
                    HostileCase{"NestedFonts", [] { return repeatTo("<font>", 8 * kMiB); }, ""},
                    // Formatting elements closed by a paragraph are opened again (copied) for the
                    // text of every later one: each "<p>x" copies all of them.
                    HostileCase{"ReopenedFormatting",
                                [] { return repeatTo(reopenedFormatting(300, 500), 8 * kMiB); }, ""},
                    HostileCase{"ReopenedFormattingLongRuns",
                                [] { return repeatTo(reopenedFormatting(600, 4000), 8 * kMiB); }, ""},
                    // gumbo compares each attribute of a tag with every one before it.
                    HostileCase{"TagsOfThousandsOfAttributes",
                                [] {
                                    std::string tag = "<a";
                                    for (int i = 0; tag.size() < 8000; ++i)
                                        tag += " a" + std::to_string(i);
                                    return repeatTo(tag + ">", 8 * kMiB);
                                },
                                ""},
                    HostileCase{"MegabyteTitle",
                                [] { return "<title>" + repeatTo("word ", 1'000'000) + "</title>"; },
                                repeatTo("word ", submit::kMaxTitleBytes)},
                    // Every link's host is put in punycode to be compared with the site's.
                    HostileCase{"LinksToLongUnicodeHosts",
                                [] {
                                    std::string body;
                                    for (char32_t first = 0x4E00; body.size() < kMiB; ++first) {
                                        std::string host;
                                        for (char32_t point = first; host.size() < 7000; point += 3)
                                            text::appendUtf8(host, point);
                                        body += "<p><a href='http://" + host + ".cn/'>x</a>";
                                    }
                                    return body;
                                },
                                ""},
                    HostileCase{"Binary",
                                [] {
                                    std::mt19937 random(11);
                                    std::string bytes(8 * kMiB, '\0');
                                    for (char& byte : bytes)
                                        byte = static_cast<char>(random());
                                    return bytes;
                                },
                                ""}),
    caseName<HostileCase>);

// Markup that keeps the parser copying is read only until the parser has done several times
// the work of a real page; a real page of the same length before the title is read to it.
TEST(PageEvidence, StopsReadingMarkupThatKeepsTheParserCopying)
{
    const std::string title = "<title>late</title>";
    const std::size_t before = kMiB / 2;
    EXPECT_EQ(readPageEvidence(realisticBody(before) + title, "", kElsewhere, "").titleUtf8, "late");
    EXPECT_EQ(readPageEvidence(repeatTo(reopenedFormatting(300, 500), before) + title, "", kElsewhere, "")
                  .titleUtf8,
              "");
}

// Reads run on many worker threads at once and share nothing; each gives what it gives alone.
TEST(PageEvidence, ConcurrentReadsAgreeWithSerialOnes)
{
    const std::vector<std::string> bodies = {
        "<title>one</title><a href='http://www.mysite.com/'>x</a>",
        "<meta charset=gbk>" + kGbkTitle + "<p>www%2Emysite%2Ecom</p>",
        repeatTo("<div>", std::size_t{64} * 1024) + "<title>deep</title>",
        "<title>none</title><a href='http://evil.net/'>x</a>",
    };
    std::vector<PageEvidence> serial;
    serial.reserve(std::size(bodies));
    for (const std::string& body : bodies)
        serial.push_back(readPageEvidence(body, "", kElsewhere, kSite));

    constexpr int kThreads = 8;
    constexpr int kReadsPerThread = 12;
    std::vector<std::vector<PageEvidence>> results(kThreads);
    {
        std::vector<std::jthread> threads;
        threads.reserve(kThreads);
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kReadsPerThread; ++i)
                    results[t].push_back(
                        readPageEvidence(bodies[(t + i) % bodies.size()], "", kElsewhere, kSite));
            });
        }
    }
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kReadsPerThread; ++i) {
            SCOPED_TRACE(testing::Message() << "thread " << t << " read " << i);
            const PageEvidence& expected = serial[(t + i) % bodies.size()];
            EXPECT_EQ(results[t][i].titleUtf8, expected.titleUtf8);
            EXPECT_EQ(results[t][i].mentionsSite, expected.mentionsSite);
            EXPECT_EQ(results[t][i].linksToSite, expected.linksToSite);
        }
    }
    EXPECT_EQ(serial[0].titleUtf8, "one");
    EXPECT_TRUE(serial[0].linksToSite);
    EXPECT_EQ(serial[1].titleUtf8, "中文标题");
    EXPECT_TRUE(serial[1].mentionsSite);
    EXPECT_EQ(serial[2].titleUtf8, "deep");
    EXPECT_FALSE(serial[3].linksToSite);
}

} // namespace
} // namespace tavrin
