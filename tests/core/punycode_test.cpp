// Punycode both ways: the sample strings of RFC 3492, host name labels in their ASCII and
// Unicode forms, and input that is no Punycode.
#include "text/punycode.h"
#include "text/utf8_sequence.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace tavrin::text {
namespace {

// Punycode with its digits (what follows the last '-') in lower case; the ASCII characters
// before them are the text's own and keep their case.
std::string digitsLowered(std::string punycode)
{
    const std::size_t delimiter = punycode.rfind('-');
    for (std::size_t i = delimiter == std::string::npos ? 0 : delimiter + 1; i < punycode.size(); ++i)
        punycode[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(punycode[i])));
    return punycode;
}

TEST(Punycode, EncodesAndDecodesTheSampleStrings)
{
    // The samples of RFC 3492, section 7.1 (the Korean one left out), in UTF-8. The RFC writes
    // a digit of the Russian sample in upper case to carry a letter case of the original; the
    // encoder writes digits in lower case, and the decoder reads either.
    const struct
    {
        const char* label;
        std::string unicode;
        std::string punycode;
    } cases[] = {
        {"Arabic (Egyptian)", "ليهمابتكلموشعربي؟", "egbpdaj6bu4bxfgehfvwxn"},
        {"Chinese (simplified)", "他们为什么不说中文", "ihqwcrb4cv8a8dqg056pqjye"},
        {"Chinese (traditional)", "他們爲什麽不說中文", "ihqwctvzc91f659drss3x8bo0yb"},
        {"Czech", "Pročprostěnemluvíčesky", "Proprostnemluvesky-uyb24dma41a"},
        {"Hebrew", "למההםפשוטלאמדבריםעברית", "4dbcagdahymbxekheh6e0a7fei0b"},
        {"Hindi (Devanagari)", "यहलोगहिन्दीक्योंनहींबोलसकतेहैं", "i1baa7eci9glrd9b2ae1bj0hfcgg6iyaf8o0a1dig0cd"},
        {"Japanese (kanji and hiragana)", "なぜみんな日本語を話してくれないのか",
         "n8jok5ay5dzabd5bym9f0cm5685rrjetr6pdxa"},
        {"Russian (Cyrillic)", "почемужеонинеговорятпорусски", "b1abfaaepdrnnbgefbaDotcwatmq2g4l"},
        {"Spanish", "PorquénopuedensimplementehablarenEspañol",
         "PorqunopuedensimplementehablarenEspaol-fmd56a"},
        {"Vietnamese", "TạisaohọkhôngthểchỉnóitiếngViệt", "TisaohkhngthchnitingVit-kjcr8268qyxafd2f1b9g"},
        {"3年B組金八先生", "3年B組金八先生", "3B-ww4c5e180e575a65lsy2b"},
        {"安室奈美恵-with-SUPER-MONKEYS", "安室奈美恵-with-SUPER-MONKEYS",
         "-with-SUPER-MONKEYS-pc58ag80a8qai00g7n9n"},
        {"Hello-Another-Way-それぞれの場所", "Hello-Another-Way-それぞれの場所",
         "Hello-Another-Way--fc4qua05auwb3674vfr0b"},
        {"ひとつ屋根の下2", "ひとつ屋根の下2", "2-u9tlzr9756bt3uc0v"},
        {"MajiでKoiする5秒前", "MajiでKoiする5秒前", "MajiKoi5-783gue6qz075azm5e"},
        {"パフィーdeルンバ", "パフィーdeルンバ", "de-jg4avhby1noc0d"},
        {"そのスピードで", "そのスピードで", "d9juau41awczczp"},
        {"ASCII only", "-> $1.00 <-", "-> $1.00 <--"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::optional<std::u32string> points = utf8CodePoints(c.unicode);
        ASSERT_TRUE(points);
        EXPECT_EQ(punycodeEncode(*points), digitsLowered(c.punycode));
        EXPECT_EQ(punycodeDecode(c.punycode), *points);
        EXPECT_EQ(punycodeDecode(digitsLowered(c.punycode)), *points);
    }
}

TEST(Punycode, LabelsOfHostNamesBothWays)
{
    const struct
    {
        std::string unicode;
        std::string ascii;
    } cases[] = {
        {"例子", "xn--fsqu00a"},     {"测试", "xn--0zwm56d"}, {"中文", "xn--fiq228c"},
        {"bücher", "xn--bcher-kva"}, {"www", "www"},          {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ascii);
        EXPECT_EQ(asciiLabel(c.unicode), c.ascii);
        EXPECT_EQ(unicodeLabel(c.ascii), c.unicode);
    }
    EXPECT_EQ(unicodeLabel("XN--FSQU00A"), "例子") << "the prefix and the digits in either case";
    EXPECT_EQ(asciiLabel("\xE4\xBE"), std::nullopt) << "a UTF-8 character cut short";
    EXPECT_EQ(asciiLabel("\xC0\xAF"), std::nullopt) << "an overlong form";
}

TEST(Punycode, RefusesWhatIsNoPunycode)
{
    const struct
    {
        const char* label;
        std::string encoded;
    } cases[] = {
        {"a digit cut short", "fsqu00"},
        {"a character that is no digit", "fsqu0!a"},
        {"a byte that is not ASCII", "abc-\xE4\xBE\x8B"},
        {"a number too large", "99999999999999999999a"},
        {"a code point past U+10FFFF", "99999a"},
        // Only a delimiter with basic code points before it ends them; this one is no digit.
        {"a delimiter with nothing before it", "-abc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(punycodeDecode(c.encoded), std::nullopt);
        EXPECT_EQ(unicodeLabel("xn--" + c.encoded), std::nullopt);
    }
    EXPECT_EQ(punycodeEncode(std::u32string{U'a', 0xD800}), std::nullopt) << "a surrogate";
    EXPECT_EQ(punycodeEncode(std::u32string{0x110000}), std::nullopt) << "past U+10FFFF";
}

TEST(Utf8CodePoints, ReadsOnlyWellFormedText)
{
    EXPECT_EQ(utf8CodePoints("a例😀"), (std::u32string{U'a', 0x4F8B, 0x1F600}));
    EXPECT_EQ(utf8CodePoints(""), std::u32string());
    for (const std::string broken :
         {"\x80", "a\xE4\xBE", "\xED\xA0\x80" /* a surrogate */, "\xF4\x90\x80\x80"}) {
        SCOPED_TRACE(testing::PrintToString(broken));
        EXPECT_EQ(utf8CodePoints(broken), std::nullopt);
    }
    std::string written;
    for (const char32_t point :
         {U'a', char32_t{0x4F8B}, char32_t{0x1F600}, char32_t{0xD800}, char32_t{0x110000}})
        appendUtf8(written, point);
    EXPECT_EQ(written, "a例😀\xEF\xBF\xBD\xEF\xBF\xBD");
}

} // namespace
} // namespace tavrin::text
