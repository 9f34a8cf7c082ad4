// Tests of the GBK text layer: character-aware searching and splitting, numbers typed by users,
// and the GBK <-> UTF-8 edge conversions.
//
// GBK byte strings are written as escapes; a literal is split ("\xB0" "abc") wherever a hex
// digit follows an escape. UTF-8 literals are plain text in this UTF-8 source.
#include "text/encoding.h"
#include "text/gbk_text.h"
#include "text/number_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace tavrin::text {
namespace {

using namespace std::string_literals;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// Test names built from each case's label, so a failing row is named in the output; the
// PrintTo overloads below print that label instead of the raw bytes of the case.
template <typename Case> std::string caseName(const testing::TestParamInfo<Case>& info)
{
    return info.param.label;
}

// ---------------------------------------------------------------------------------------------
// Character boundaries

struct CharLengthCase
{
    std::string label;
    std::string text;
    std::size_t at;
    std::size_t expected;
};

void PrintTo(const CharLengthCase& c, std::ostream* os)
{
    *os << c.label;
}

class CharLengthTest : public testing::TestWithParam<CharLengthCase>
{
};

TEST_P(CharLengthTest, MeasuresTheCharacterAtOffset)
{
    const CharLengthCase& c = GetParam();
    EXPECT_EQ(charLength(c.text, c.at), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Gbk, CharLengthTest,
    testing::Values(
        CharLengthCase{"AsciiByte", "a", 0, 1}, CharLengthCase{"LeadWithHighTrail", "\xB0\xA1", 0, 2},
        CharLengthCase{"LowestLeadLowestTrail", "\x81\x40", 0, 2},
        CharLengthCase{"HighestLeadHighestTrail", "\xFE\xFE", 0, 2},
        // Trail bytes in 0x40..0x7E look like ASCII but belong to the character.
        CharLengthCase{"TrailLooksLikeBrace", "\xB0\x7B", 0, 2},
        CharLengthCase{"TrailLooksLikeLetter", "\xB0\x41", 0, 2},
        CharLengthCase{"TrailAt0x80", "\xB0\x80", 0, 2},
        // Bytes GBK never allows in second position leave the lead byte alone.
        CharLengthCase{"LeadBeforeDel", "\xB0\x7F", 0, 1}, CharLengthCase{"LeadBeforeFF", "\xB0\xFF", 0, 1},
        CharLengthCase{"LeadBeforeQuestionMark", "\xB0?", 0, 1},
        CharLengthCase{"LeadBeforeCarriageReturn", "\xB0\r\n", 0, 1},
        CharLengthCase{"LoneLeadAtEnd", "ab\xB0", 2, 1},
        // 0x80 and 0xFF are never lead bytes.
        CharLengthCase{"Byte0x80IsSingle", "\x80\xA1", 0, 1},
        CharLengthCase{"Byte0xFFIsSingle", "\xFF\xA1", 0, 1}, CharLengthCase{"PastTheEnd", "ab", 2, 0}),
    caseName<CharLengthCase>);

// ---------------------------------------------------------------------------------------------
// find

struct FindCase
{
    std::string label;
    std::string haystack;
    std::string needle;
    long long start;
    CaseMode mode;
    long long expected;
};

void PrintTo(const FindCase& c, std::ostream* os)
{
    *os << c.label;
}

class FindTest : public testing::TestWithParam<FindCase>
{
};

TEST_P(FindTest, FindsFirstAlignedMatch)
{
    const FindCase& c = GetParam();
    EXPECT_EQ(find(c.haystack, c.needle, c.start, c.mode), c.expected);
}

constexpr CaseMode kExact = CaseMode::Sensitive;
constexpr CaseMode kFold = CaseMode::AsciiInsensitive;

INSTANTIATE_TEST_SUITE_P(
    Basics, FindTest,
    testing::Values(FindCase{"FirstOccurrence", "abcabc", "bc", 1, kExact, 2},
                    FindCase{"StartSkipsEarlierMatch", "abcabc", "bc", 3, kExact, 5},
                    FindCase{"MatchAtStart", "abcabc", "bc", 5, kExact, 5},
                    FindCase{"NoMatchAfterStart", "abcabc", "bc", 6, kExact, -1},
                    FindCase{"StartOnLastByte", "abc", "c", 3, kExact, 3},
                    FindCase{"NeedleRunsPastEnd", "abc", "cd", 1, kExact, -1},
                    FindCase{"NeedleLongerThanText", "ab", "abc", 1, kExact, -1},
                    FindCase{"EmptyNeedle", "abc", "", 1, kExact, -1},
                    FindCase{"EmptyHaystack", "", "a", 1, kExact, -1},
                    FindCase{"StartZero", "abc", "a", 0, kExact, -1},
                    FindCase{"StartNegative", "abc", "a", -5, kExact, -1},
                    FindCase{"StartBeyondText", "abc", "c", 4, kExact, -1},
                    FindCase{"CaseMattersWhenSensitive", "Hello World", "WORLD", 1, kExact, -1},
                    FindCase{"CaseFoldsWhenInsensitive", "Hello World", "wORLD", 1, kFold, 7},
                    FindCase{"FoldingHonoursStart", "Ab ab", "AB", 2, kFold, 4}),
    caseName<FindCase>);

INSTANTIATE_TEST_SUITE_P(
    DoubleByte, FindTest,
    testing::Values(
        // 0x7B ('{') is the second byte of the character 0xB0 0x7B, not a brace.
        FindCase{"MatchOnTrailByteIsSkipped", "\xB0\x7B$url}", "{$url}", 1, kExact, -1},
        FindCase{"MatchAfterDoubleByteChar", "\xB0\xA1{$url}", "{$url}", 1, kExact, 3},
        FindCase{"RealMatchAfterFalseOne", "\xB0\x7B$url}{$url}", "{$url}", 1, kExact, 8},
        FindCase{"DoubleByteNeedle", "ab\xB5\xB1\xC7\xB0", "\xC7\xB0", 1, kExact, 5},
        // The bytes A1 B0 straddle two characters.
        FindCase{"NeedleAcrossCharacters", "\xB0\xA1\xB0\xA1", "\xA1\xB0", 1, kExact, -1},
        // Boundaries come from the start of the text, not from `start`: position 2 is the
        // second byte of 0xB0 0xA1 ...
        FindCase{"StartOnTrailByte", "\xB0\xA1x", "\xA1x", 2, kExact, -1},
        // ... and here position 3 is a character of its own (0xB0 0xB0 is one character),
        // although reading from position 2 would pair it with the byte before.
        FindCase{"StartInsideCharacterFindsNextBoundary", "\xB0\xB0\xA1", "\xA1", 2, kExact, 3},
        FindCase{"LoneLeadByteAtEnd", "ab\xB0", "\xB0", 1, kExact, 3},
        FindCase{"LineBreakAfterBrokenLead", "\xB0\r\n", "\r\n", 1, kExact, 2},
        FindCase{"InsensitiveSkipsTrailByte", "\xB0\x7B$URL}", "{$url}", 1, kFold, -1},
        // 0xB0 0x41 and 0xB0 0x61 are different characters: their second bytes must not fold.
        FindCase{"InsensitiveKeepsTrailBytesExact", "\xB0\x41", "\xB0\x61", 1, kFold, -1},
        FindCase{"InsensitiveMatchesDoubleByteExactly", "x\xB0\x41Y", "\xB0\x41y", 1, kFold, 2},
        FindCase{"InsensitiveLetterIsNotATrailByte", "\xB0\x41", "a", 1, kFold, -1}),
    caseName<FindCase>);

// ---------------------------------------------------------------------------------------------
// replaceAll

struct ReplaceCase
{
    std::string label;
    std::string text;
    std::string from;
    std::string to;
    CaseMode mode;
    std::string expected;
};

void PrintTo(const ReplaceCase& c, std::ostream* os)
{
    *os << c.label;
}

class ReplaceAllTest : public testing::TestWithParam<ReplaceCase>
{
};

TEST_P(ReplaceAllTest, ReplacesEveryAlignedOccurrence)
{
    const ReplaceCase& c = GetParam();
    EXPECT_EQ(replaceAll(c.text, c.from, c.to, c.mode), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceAllTest,
    testing::Values(
        ReplaceCase{"EveryOccurrence", "a-b-c", "-", "+", kExact, "a+b+c"},
        ReplaceCase{"NonOverlappingFromLeft", "aaaaa", "aa", "b", kExact, "bba"},
        ReplaceCase{"ReplacementIsNotRescanned", "ab", "a", "aa", kExact, "aab"},
        ReplaceCase{"EmptyFromLeavesText", "abc", "", "x", kExact, "abc"},
        ReplaceCase{"EmptyToDeletes", "a--b", "-", "", kExact, "ab"},
        ReplaceCase{"WholeText", "abc", "abc", "\xB5\xB1", kExact, "\xB5\xB1"},
        ReplaceCase{"NothingFound", "abc", "x", "y", kExact, "abc"},
        ReplaceCase{"TrailByteMatchIsKept", "\xB0\x7B$url}{$url}", "{$url}", "X", kExact, "\xB0\x7B$url}X"},
        // After a rejected candidate inside 0xB0 0xA1 the lone 0xA1 still matches.
        ReplaceCase{"AlignmentAfterRejectedCandidate", "\xB0\xA1\xA1", "\xA1", "x", kExact, "\xB0\xA1x"},
        ReplaceCase{"InsensitiveFoldsAscii", "Url URL url", "uRl", "x", kFold, "x x x"},
        ReplaceCase{"InsensitiveKeepsDoubleBytesExact", "\xB0\x41-\xB0\x61", "\xB0\x61", "Z", kFold,
                    "\xB0\x41-Z"},
        ReplaceCase{"InsensitiveIgnoresTrailLetter",
                    "\xB0\x41"
                    "a",
                    "A", "-", kFold, "\xB0\x41-"}),
    caseName<ReplaceCase>);

// ---------------------------------------------------------------------------------------------
// split

struct SplitCase
{
    std::string label;
    std::string text;
    std::string separator;
    std::vector<std::string> expected;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.label;
}

class SplitTest : public testing::TestWithParam<SplitCase>
{
};

TEST_P(SplitTest, SplitsIntoPieces)
{
    const SplitCase& c = GetParam();
    EXPECT_EQ(split(c.text, c.separator), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitTest,
    testing::Values(SplitCase{"CrLfLines", "a\r\nb\r\nc", "\r\n", {"a", "b", "c"}},
                    SplitCase{"EmptyMiddleLineKept", "a\r\n\r\nb", "\r\n", {"a", "", "b"}},
                    SplitCase{"TrailingSeparatorAddsNothing", "a\r\nb\r\n", "\r\n", {"a", "b"}},
                    SplitCase{"OnlySeparator", "\r\n", "\r\n", {""}},
                    SplitCase{"OnlySeparators", "\r\n\r\n", "\r\n", {"", ""}},
                    SplitCase{"LeadingSeparator", "\r\na", "\r\n", {"", "a"}},
                    SplitCase{"LfOnlyIsNotCrLf", "a\nb\n", "\r\n", {"a\nb\n"}},
                    SplitCase{"EmptyText", "", "\r\n", {}}, SplitCase{"EmptySeparator", "abc", "", {"abc"}},
                    SplitCase{"EmptyTextEmptySeparator", "", "", {}},
                    SplitCase{"DoubleByteLines", "\xB5\xB1\r\n\xC7\xB0", "\r\n", {"\xB5\xB1", "\xC7\xB0"}},
                    // 0x0D cannot follow a lead byte, so the broken lead byte does not hide
                    // the line break.
                    SplitCase{"BrokenLeadBeforeCrLf", "\xB0\r\nabc", "\r\n", {"\xB0", "abc"}}),
    caseName<SplitCase>);

INSTANTIATE_TEST_SUITE_P(
    Separators, SplitTest,
    testing::Values(SplitCase{"MultiByteSeparator", "a, b, c", ", ", {"a", "b", "c"}},
                    // 0x7C ('|') is the second byte of 0xB0 0x7C.
                    SplitCase{"SeparatorAsTrailByte", "\xB0\x7Cx|y", "|", {"\xB0\x7Cx", "y"}},
                    SplitCase{"DoubleByteSeparator",
                              "a\xA1\xA2"
                              "b\xA1\xA2"
                              "c",
                              "\xA1\xA2",
                              {"a", "b", "c"}},
                    SplitCase{
                        "SeparatorAcrossCharacters", "\xB0\xA1\xB0\xA1", "\xA1\xB0", {"\xB0\xA1\xB0\xA1"}}),
    caseName<SplitCase>);

// Long texts must be scanned in one pass, not re-scanned from the start for every match.
TEST(LargeText, SplitAndReplaceHandleManyMatches)
{
    constexpr int kLines = 200'000;
    std::string text;
    for (int i = 0; i < kLines; ++i)
        text += "\xB5\xB1\xB0\x7B|\r\n";

    const std::vector<Text> lines = split(text, "\r\n");
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kLines));
    EXPECT_EQ(lines.front(), "\xB5\xB1\xB0\x7B|");
    EXPECT_EQ(lines.back(), "\xB5\xB1\xB0\x7B|");

    // Each line has a real '|' and a 0x7B trail byte that must not be taken for '{'.
    const Text replaced = replaceAll(text, "|", "{");
    EXPECT_EQ(replaced.size(), text.size());
    EXPECT_EQ(split(replaced, "{").size(), static_cast<std::size_t>(kLines + 1));
}

// ---------------------------------------------------------------------------------------------
// Case folding, NUL-terminated buffers, truncation, decimals

TEST(AsciiCase, FoldsOnlySingleByteLetters)
{
    struct Case
    {
        std::string text;
        std::string lower;
        std::string upper;
    };
    const std::vector<Case> cases = {
        {"Hello, World 42!", "hello, world 42!", "HELLO, WORLD 42!"},
        // The second bytes 0x41 ('A') and 0x61 ('a') are part of their characters.
        {"Ab\xB0\x41z\xB0\x61", "ab\xB0\x41z\xB0\x61", "AB\xB0\x41Z\xB0\x61"},
        // A broken lead byte stays a character of its own; the letter after it folds.
        {"\xB0\rA", "\xB0\ra", "\xB0\rA"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(asciiLower(c.text), c.lower);
        EXPECT_EQ(asciiUpper(c.text), c.upper);
    }
}

TEST(UntilNul, StopsAtFirstNul)
{
    EXPECT_EQ(untilNul("ab\0cd\0"s), "ab");
    EXPECT_EQ(untilNul("\0abc"s), "");
    EXPECT_EQ(untilNul("\xB5\xB1"), "\xB5\xB1");
    EXPECT_EQ(untilNul(""), "");
}

TEST(LeftBytes, NeverCutsADoubleByteCharacter)
{
    struct Case
    {
        std::string text;
        std::size_t limit;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"abc", 2, "ab"},
        {"a\xB0\xA1", 2, "a"},
        {"a\xB0\xA1", 3, "a\xB0\xA1"},
        {"\xB0\xA1\xB0\xA1", 3, "\xB0\xA1"},
        {"\xB0\xA1", 1, ""},
        {"abc", 0, ""},
        {"abc", 10, "abc"},
        // A lone lead byte at the end and a broken lead byte are single characters.
        {"ab\xB0", 3, "ab\xB0"},
        {"a\xB0\rb", 2, "a\xB0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " limit " << c.limit);
        EXPECT_EQ(leftBytes(c.text, c.limit), c.expected);
    }
}

TEST(Decimal, WritesWholeRange)
{
    EXPECT_EQ(decimal(0), "0");
    EXPECT_EQ(decimal(-12), "-12");
    EXPECT_EQ(decimal(100000), "100000");
    EXPECT_EQ(decimal(LLONG_MAX), "9223372036854775807");
    EXPECT_EQ(decimal(LLONG_MIN), "-9223372036854775808");
}

// ---------------------------------------------------------------------------------------------
// Numbers from text

struct NumberCase
{
    std::string label;
    std::string text;
    double expected;
};

void PrintTo(const NumberCase& c, std::ostream* os)
{
    *os << c.label;
}

class NumberFromTextTest : public testing::TestWithParam<NumberCase>
{
};

TEST_P(NumberFromTextTest, ReadsLeadingNumber)
{
    const NumberCase& c = GetParam();
    // Parsing is correctly rounded, so the results are compared exactly.
    EXPECT_EQ(numberFromText(c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ascii, NumberFromTextTest,
    testing::Values(
        NumberCase{"Integer", "123", 123.0}, NumberCase{"LeadingZeros", "007", 7.0},
        NumberCase{"TrailingLetters", " 12abc", 12.0}, NumberCase{"LeadingBlanks", "\t\r\n 7", 7.0},
        NumberCase{"ExponentThenJunk", "-3.5e2x", -350.0}, NumberCase{"UpperExponent", "2E3", 2000.0},
        NumberCase{"NegativeExponent", "25e-1", 2.5}, NumberCase{"ExponentWithoutDigits", "1e", 1.0},
        NumberCase{"ExponentSignWithoutDigits", "1e+", 1.0}, NumberCase{"FractionOnly", ".5", 0.5},
        NumberCase{"TrailingPoint", "5.", 5.0}, NumberCase{"PlusSign", "+5", 5.0},
        NumberCase{"SecondPointEnds", "1.2.3", 1.2}, NumberCase{"BlankEnds", "12 34", 12.0},
        NumberCase{"DecimalCommaEnds", "1,5", 1.0}, NumberCase{"Letters", "abc", 0.0},
        NumberCase{"Empty", "", 0.0}, NumberCase{"PlusAlone", "+", 0.0}, NumberCase{"MinusAlone", "-", 0.0},
        NumberCase{"PointAlone", ".", 0.0}, NumberCase{"SignPointExponent", "+.e5", 0.0},
        NumberCase{"DoubleSign", "--5", 0.0}, NumberCase{"SignThenBlank", "- 5", 0.0},
        NumberCase{"HexIsNotRead", "0x10", 0.0}, NumberCase{"InfIsNotRead", "inf", 0.0},
        NumberCase{"NanIsNotRead", "nan", 0.0}, NumberCase{"Overflow", "1e400", kInfinity},
        NumberCase{"NegativeOverflow", "-1e400", -kInfinity}, NumberCase{"Underflow", "1e-400", 0.0}),
    caseName<NumberCase>);

INSTANTIATE_TEST_SUITE_P(
    Gbk, NumberFromTextTest,
    testing::Values(NumberCase{"FullWidthDigits", "\xA3\xB1\xA3\xB2\xA3\xB3", 123.0}, // "１２３"
                    NumberCase{"FullWidthSignAndPoint", "\xA3\xAD\xA3\xB3\xA3\xAE\xA3\xB5", -3.5},
                    NumberCase{"MixedWidthDigits",
                               "1\xA3\xB2"
                               "3",
                               123.0},
                    NumberCase{"FullWidthExponent", "\xA3\xB1\xA3\xE5\xA3\xB3", 1000.0},
                    NumberCase{"FullWidthSpaceSkipped",
                               "\xA1\xA1"
                               "42",
                               42.0},
                    NumberCase{"ChineseAfterNumber", "12\xB8\xF6", 12.0}, // "12个"
                    NumberCase{"ChineseBeforeNumber",
                               "\xB8\xF6"
                               "12",
                               0.0}, // "个12"
                    // 0xA3 0xA1 is the full-width '!', which is not part of a number.
                    NumberCase{"FullWidthPunctuationEnds",
                               "7\xA3\xA1"
                               "8",
                               7.0}),
    caseName<NumberCase>);

// The parser must stop at the end of the view even when the bytes behind it continue the number.
TEST(NumberFromText, ReadsOnlyInsideTheView)
{
    const std::string buffer = "12345e3";
    EXPECT_EQ(numberFromText(std::string_view(buffer).substr(0, 2)), 12.0);
    EXPECT_EQ(numberFromText(std::string_view(buffer).substr(0, 6)), 12345.0);
    const std::string fullWidth = "\xA3\xB1\xA3\xB2";
    EXPECT_EQ(numberFromText(std::string_view(fullWidth).substr(0, 3)), 1.0);
}

TEST(IntFromText, TruncatesTowardZeroAndClamps)
{
    struct Case
    {
        std::string text;
        int expected;
    };
    constexpr int kMax = std::numeric_limits<int>::max();
    constexpr int kMin = std::numeric_limits<int>::min();
    const std::vector<Case> cases = {
        {"12.9", 12},
        {"-12.9", -12},
        {"-0.5", 0},
        {"\xA3\xB1\xA3\xB2\xA3\xB3", 123},
        {"abc", 0},
        {"2147483647", kMax},
        {"2147483647.9", kMax},
        {"2147483648", kMax},
        {"-2147483648", kMin},
        {"-2147483649", kMin},
        {"3e9", kMax},
        {"-3e9", kMin},
        {"1e400", kMax},
        {"-1e400", kMin},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(intFromText(c.text), c.expected);
    }
}

TEST(Tolerance, ExactlyOneRelationHolds)
{
    struct Case
    {
        double a;
        double b;
        bool equal;
        bool greater;
        bool less;
    };
    const std::vector<Case> cases = {
        {1.0, 1.0, true, false, false},
        {1.0, 1.0 + 5e-8, true, false, false},
        {-1e-8, 1e-8, true, false, false},
        {1.0 + 2e-7, 1.0, false, true, false},
        {1.0, 1.0 + 2e-7, false, false, true},
        {-5.0, 5.0, false, false, true},
        {kInfinity, kInfinity, true, false, false},
        {kInfinity, 1e300, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << " vs " << c.b);
        EXPECT_EQ(nearlyEqual(c.a, c.b), c.equal);
        EXPECT_EQ(clearlyGreater(c.a, c.b), c.greater);
        EXPECT_EQ(clearlyLess(c.a, c.b), c.less);
    }
}

// ---------------------------------------------------------------------------------------------
// GBK <-> UTF-8

// An independent well-formedness check: decodes each sequence and rejects overlong forms,
// surrogates and values past U+10FFFF.
bool isValidUtf8(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size()) {
        const auto first = static_cast<unsigned char>(text[at]);
        std::size_t length = 1;
        std::uint32_t value = first;
        std::uint32_t minimum = 0;
        if (first >= 0xF0 && first < 0xF8) {
            length = 4, value = first & 0x07u, minimum = 0x10000;
        } else if (first >= 0xE0) {
            length = 3, value = first & 0x0Fu, minimum = 0x800;
        } else if (first >= 0xC0) {
            length = 2, value = first & 0x1Fu, minimum = 0x80;
        } else if (first >= 0x80) {
            return false;
        }
        if (first >= 0xF8 || at + length > text.size())
            return false;
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0u) != 0x80u)
                return false;
            value = (value << 6) | (next & 0x3Fu);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        at += length;
    }
    return true;
}

struct RoundTripCase
{
    std::string label;
    std::string utf8;
    std::string gbk;
};

void PrintTo(const RoundTripCase& c, std::ostream* os)
{
    *os << c.label;
}

class RoundTripTest : public testing::TestWithParam<RoundTripCase>
{
};

TEST_P(RoundTripTest, ConvertsBothWays)
{
    const RoundTripCase& c = GetParam();
    EXPECT_EQ(utf8ToGbk(c.utf8), c.gbk);
    EXPECT_EQ(gbkToUtf8(c.gbk), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RoundTripTest,
    testing::Values(RoundTripCase{"StatusLine", "当前状态：软件初始化成功....",
                                  "\xB5\xB1\xC7\xB0\xD7\xB4\xCC\xAC\xA3\xBA\xC8\xED\xBC\xFE\xB3\xF5"
                                  "\xCA\xBC\xBB\xAF\xB3\xC9\xB9\xA6...."},
                    RoundTripCase{"Tick", "√", "\xA1\xCC"}, RoundTripCase{"Cross", "×", "\xA1\xC1"},
                    RoundTripCase{"FullWidthQuestionMark", "？", "\xA3\xBF"},
                    RoundTripCase{"Arrow", "---》", "---\xA1\xB7"},
                    // The euro sign is GBK's only single byte above ASCII.
                    RoundTripCase{"Euro", "€", "\x80"}, RoundTripCase{"Ascii", "abc 123\r\n", "abc 123\r\n"},
                    RoundTripCase{"EmbeddedNul", "a\0\xE5\xBD\x93"s, "a\0\xB5\xB1"s},
                    RoundTripCase{"Empty", "", ""}),
    caseName<RoundTripCase>);

TEST(GbkToUtf8, InvalidBytesBecomeReplacementCharacters)
{
    const std::string fffd = "\xEF\xBF\xBD";
    struct Case
    {
        std::string gbk;
        std::string utf8;
    };
    const std::vector<Case> cases = {
        {"\xFF", fffd},
        {"a\xFF"
         "b",
         "a" + fffd + "b"},
        {"a\xB0", "a" + fffd},             // lead byte cut off by the end
        {"\xB0\r\n", fffd + "\r\n"},       // line break after a broken lead byte survives
        {"\xA2\xA0x", fffd + "x"},         // well-shaped but unassigned: one character
        {"\xAA\xA1\xFE\xFE", fffd + fffd}, // the user-defined area holds no characters
        {"\xFF\xB5\xB1", fffd + "当"},     // conversion resumes after the bad byte
        {"\xB5\xB1\xFF\xFF\xC7\xB0", "当" + fffd + fffd + "前"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gbk);
        EXPECT_EQ(gbkToUtf8(c.gbk), c.utf8);
    }
}

// Whatever the bytes, the result can be handed to a widget as UTF-8.
TEST(GbkToUtf8, AnyInputGivesValidUtf8)
{
    for (int first = 0; first < 256; ++first) {
        const std::string single(1, static_cast<char>(first));
        ASSERT_TRUE(isValidUtf8(gbkToUtf8(single))) << "byte " << first;
        for (int second = 0; second < 256; ++second) {
            // CR cannot be the second byte of a character, so whatever went before, the
            // line break must come through.
            const std::string pair = single + static_cast<char>(second) + "\r\n";
            const std::string utf8 = gbkToUtf8(pair);
            ASSERT_TRUE(isValidUtf8(utf8)) << "bytes " << first << " " << second;
            EXPECT_TRUE(utf8.ends_with("\r\n")) << "bytes " << first << " " << second;
        }
    }
}

TEST(Utf8ToGbk, UnrepresentableAndInvalidBecomeQuestionMarks)
{
    struct Case
    {
        std::string utf8;
        std::string gbk;
    };
    const std::vector<Case> cases = {
        {"a😀b", "a?b"},       // one mark per character, not per byte
        {"한", "?"},          // Hangul is outside GBK
        {"\uE000", "?"},      // so are the private-use characters
        {"😀当", "?\xB5\xB1"}, // conversion resumes after the character
        {"\xFF", "?"},
        {"\x80"
         "a",
         "?a"},          // stray continuation byte
        {"a\xC3", "a?"}, // sequence cut off by the end
        {"\xE5\xBD"
         "a",
         "??a"},                      // sequence cut off by another character
        {"\xC0\xAF", "??"},           // overlong '/'
        {"\xED\xA0\x80", "???"},      // surrogate
        {"\xF4\x90\x80\x80", "????"}, // past U+10FFFF
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(utf8ToGbk(c.utf8), c.gbk);
    }
}

TEST(Encoding, LargeTextsConvertWhole)
{
    // About 3 MB of UTF-8 with an invalid byte here and there. The repeated unit has an odd
    // length, so double-byte characters start at every offset of any block the conversion may
    // work in.
    constexpr int kRepeats = 300'000;
    std::string gbk;
    std::string utf8;
    // The U+FFFD written for the invalid byte converts back to '?', since GBK has no such character.
    std::string roundTripped;
    for (int i = 0; i < kRepeats; ++i) {
        gbk += "\xB5\xB1\xC7\xB0 ok";
        utf8 += "当前 ok";
        roundTripped += "\xB5\xB1\xC7\xB0 ok";
        if (i % 1000 == 999) {
            gbk += "\xFF";
            utf8 += "\xEF\xBF\xBD";
            roundTripped += "?";
        }
    }

    const std::string converted = gbkToUtf8(gbk);
    ASSERT_EQ(converted.size(), utf8.size());
    EXPECT_TRUE(converted == utf8);
    const std::string back = utf8ToGbk(converted);
    ASSERT_EQ(back.size(), roundTripped.size());
    EXPECT_TRUE(back == roundTripped);
}

// Each thread needs its own conversion state; run under the thread sanitizer this also shows
// any sharing between threads.
TEST(Encoding, ConvertsFromManyThreadsAtOnce)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 500;
    const std::string gbk = "\xB5\xB1\xC7\xB0\xD7\xB4\xCC\xAC\xFF"
                            "abc";
    const std::string utf8 = "当前状态\xEF\xBF\xBD"
                             "abc";
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                if (gbkToUtf8(gbk) != utf8 || utf8ToGbk("当前😀") != "\xB5\xB1\xC7\xB0?")
                    ++failures[static_cast<std::size_t>(t)];
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[static_cast<std::size_t>(t)], 0) << "thread " << t;
}

} // namespace
} // namespace tavrin::text
