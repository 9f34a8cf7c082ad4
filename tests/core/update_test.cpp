// The update notice read without a network: cutting values out of a page, the notice's keys,
// the version order, the question shown, and the file name a download may be saved under.
#include "text/encoding.h"
#include "update/program_version.h"
#include "update/text_between.h"
#include "update/update_download.h"
#include "update/update_notice.h"

#include <gtest/gtest.h>

#include <optional>

namespace tavrin::update {
namespace {

using text::utf8ToGbk;

struct BetweenCase
{
    const char* what;
    std::string text;
    std::string start;
    std::string end;
    std::string value;
    friend std::ostream& operator<<(std::ostream& out, const BetweenCase& c) { return out << c.what; }
};

class TextBetweenTest : public testing::TestWithParam<BetweenCase>
{
};

TEST_P(TextBetweenTest, CutsTheValue)
{
    const BetweenCase& c = GetParam();
    EXPECT_EQ(textBetween(c.text, c.start, c.end), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextBetweenTest,
    testing::Values(
        BetweenCase{"both markers", "ab[value]cd", "[", "]", "value"},
        BetweenCase{"start marker at the very start", "[x]y", "[", "]", "x"},
        BetweenCase{"first start, then the first end after it", "]a[b][c]", "[", "]", "b"},
        BetweenCase{"end right after start", "a[]b]", "[", "]", ""},
        BetweenCase{"end absent", "a[bcd", "[", "]", ""},
        BetweenCase{"markers of several bytes", "x<<one>>y", "<<", ">>", "one"},
        // Without the start marker the value is taken from position (length of start - 1).
        BetweenCase{"start absent: from position length - 1", "0123456789<e>", "abcd", "<e>", "23456789"},
        BetweenCase{"start absent, two bytes: from position 1", "abc]", "[[", "]", "abc"},
        BetweenCase{"start absent, one byte: position 0 gives nothing", "abc]", "[", "]", ""},
        BetweenCase{"empty start: position -1 gives nothing", "abc]", "", "]", ""},
        BetweenCase{"start absent, end at the taken position", "ab]cd", "[[[[", "]", ""},
        BetweenCase{"start absent, text shorter than the position", "ab", "[[[[[[", "]", ""},
        // "[" (0x5B) is also a GBK trail byte: after a lead byte it is part of a character.
        BetweenCase{"a marker inside a double-byte character does not count", "\x81[x]", "[", "]", ""},
        BetweenCase{"GBK markers", utf8ToGbk("前////开始值////结束后"), utf8ToGbk("////开始"),
                    utf8ToGbk("////结束"), utf8ToGbk("值")}));

// A notice page as published: HTML around the block, its paragraphs each in <p> ... </p>.
std::string page(const std::string& blockUtf8)
{
    return utf8ToGbk("<html><body><p>最新版=9.9</p>////开始" + blockUtf8 +
                     "////结束<p>下载方式=别的</p></body></html>");
}

TEST(UpdateNotice, ReadsTheKeysInAnyOrderFromTheBlockOnly)
{
    // Keys outside the block (before and after it) are not read.
    const UpdateNotice notice =
        parseUpdateNotice(page("<p>更新说明=修正了崩溃更新说明结束</p><p>下载方式=下载文件</p>"
                               "<p>下载地址=http://dl.example/v2/setup.exe</p><p>最新版=2.1</p>"));
    EXPECT_EQ(notice.newest, "2.1");
    EXPECT_EQ(notice.downloadUrl, "http://dl.example/v2/setup.exe");
    EXPECT_EQ(notice.mode, utf8ToGbk("下载文件"));
    EXPECT_EQ(notice.description, utf8ToGbk("修正了崩溃"));
}

TEST(UpdateNotice, DescriptionLosesOnlyParagraphTags)
{
    const UpdateNotice notice = parseUpdateNotice(page(
        "<p>最新版=2.1</p><p>更新说明=</p><p>第一条</p><p>第二条<br/>第三条</p><P>大写</P>更新说明结束</p>"));
    EXPECT_EQ(notice.description, utf8ToGbk("第一条第二条<br/>第三条<P>大写</P>"));
}

TEST(UpdateNotice, MissingKeyIsCutWhereTheMarkerRuleLeads)
{
    // Without "下载地址=" (9 bytes) its value starts at byte 8 of the block and runs to the
    // first "</p>": the last character of "最新版" and what follows it. Notices published with
    // a key missing have always read this way.
    const UpdateNotice notice = parseUpdateNotice(page("<p>最新版=2.1</p>"));
    EXPECT_EQ(notice.newest, "2.1");
    EXPECT_EQ(notice.downloadUrl, utf8ToGbk("版=2.1"));
    EXPECT_EQ(notice.description, "");
}

TEST(UpdateNotice, NoBlockReadsAsEmpty)
{
    // A block cut off by a NUL byte, a page without one, no page.
    const std::string cut =
        utf8ToGbk("////开始<p>最新版=2.1</p>") + std::string(1, '\0') + utf8ToGbk("////结束");
    EXPECT_EQ(parseUpdateNotice(cut), UpdateNotice{});
    EXPECT_EQ(parseUpdateNotice("<html>no notice here</html>"), UpdateNotice{});
    EXPECT_EQ(parseUpdateNotice(""), UpdateNotice{});
}

TEST(ProgramVersion, NewerOnlyWhenItComesLater)
{
    // Each pair: the version a notice offers, the one running, and whether it is an update.
    const struct
    {
        std::string offered;
        std::string running;
        bool newer;
    } cases[] = {
        // The program's own version against what a notice may name.
        {"1.0", "v2.0 beta1", false},
        {"v1.9", "v2.0 beta1", false},
        {"2.0 alpha", "v2.0 beta1", false},
        {"2.0 beta", "v2.0 beta1", false}, // a stage without a number is its number 0
        {"v2.0 beta1", "v2.0 beta1", false},
        {"V2.0BETA1", "v2.0 beta1", false}, // letter case and the blank do not matter
        {"2.0 beta2", "v2.0 beta1", true},
        {"2.0-rc1", "v2.0 beta1", true},
        {"2.0", "v2.0 beta1", true},
        {"v3.0", "v2.0 beta1", true},
        {"1.9", "2.0", false},
        {"2.0", "2.0", false},
        {"2.0.0", "2.0", false}, // missing parts are 0
        {"2.0 rc3", "2.0", false},
        {"2.0.1", "2.0", true},
        {"2.1", "2.0.1", true},
        {"2.10", "2.9", true}, // parts compare as numbers, not as decimals
        {"10.0", "9.99", true},
        {"2.1", "v2.1", false},
        {" 2.1\r\n", "2.0", true},         // blanks around it
        {utf8ToGbk("２.５"), "2.0", true}, // full-width digits
        // Whatever is no version offers nothing, and nothing is newer than it either.
        {"", "v2.0 beta1", false},
        {"soon", "v2.0 beta1", false},
        {"2.1 final", "2.0", false},
        {utf8ToGbk("2.1正式版"), "2.0", false},
        {"2.1.", "2.0", false},
        {"v", "2.0", false},
        {"-3", "2.0", false},
        {"2.0 beta-", "1.0", false},
        {"99999999999999999999", "2.0", false}, // more digits than any version has
        {"2.1", "soon", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offered + " over " + c.running);
        EXPECT_EQ(isNewerVersion(c.offered, c.running), c.newer);
        // Never both ways round.
        if (c.newer) {
            EXPECT_FALSE(isNewerVersion(c.running, c.offered));
        }
    }
}

TEST(UpdateNotice, PromptShowsBothVersionsAndTheChanges)
{
    UpdateNotice notice;
    notice.newest = "2.1";
    notice.description = utf8ToGbk("修正了崩溃");
    EXPECT_EQ(updatePrompt("v2.0 beta1", notice),
              utf8ToGbk("当前版本：v2.0 beta1\r\n最新版本：2.1\r\n更新内容：\r\n修正了崩溃"));
}

TEST(DownloadFileName, IsThePlainLastSegment)
{
    const struct
    {
        std::string url;
        std::optional<std::string> name;
    } cases[] = {
        {"http://dl.example/v2/setup.exe", "setup.exe"},
        {"https://dl.example/v2/", "v2"}, // a final "/" adds no segment
        {"http://dl.example/get/setup.exe?to=../../evil.sh", "setup.exe"},
        {"http://dl.example/setup.exe#part/../x", "setup.exe"},
        {"http://dl.example/dl?file=/etc/passwd", "dl"},
        {"http://dl.example/%2e%2e", "%2e%2e"}, // not decoded: a plain name
        {"http://dl.example/.hidden", ".hidden"},
        // 誠 is 0xD5 0x5C in GBK: its second byte is no backslash.
        {utf8ToGbk("http://dl.example/誠.exe"), utf8ToGbk("誠.exe")},
        {"", std::nullopt},
        {"http://dl.example/a/..", std::nullopt},
        {"http://dl.example/a/.", std::nullopt},
        {"http://dl.example/a//", std::nullopt},
        {"http://dl.example/a/..?x=1", std::nullopt},
        {"http://dl.example/?x=1", "dl.example"},
        {"http://dl.example/..\\..\\evil.exe", std::nullopt},
        {"http://dl.example/a\\b.exe", std::nullopt},
        {"?/setup.exe", std::nullopt},
        {std::string("http://dl.example/a\0b.exe", 25), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(downloadFileName(c.url), c.name);
    }
}

TEST(DownloadFileName, OnlyWebAddressesGoToTheBrowser)
{
    EXPECT_TRUE(isWebAddress("http://dl.example/setup.exe"));
    EXPECT_TRUE(isWebAddress("HTTPS://dl.example/setup.exe"));
    EXPECT_FALSE(isWebAddress("file:///usr/bin/evil"));
    EXPECT_FALSE(isWebAddress("javascript:alert(1)"));
    EXPECT_FALSE(isWebAddress("dl.example/setup.exe"));
    EXPECT_FALSE(isWebAddress(""));
}

} // namespace
} // namespace tavrin::update
