#include "text/gb18030.h"

#include <algorithm>
#include <array>

namespace tavrin::text {

namespace {

// Runs of four-byte sequences that decode to consecutive code points: the sequence's linear
// index ((b1 - 0x81) * 12600 + (b2 - 0x30) * 1260 + (b3 - 0x81) * 10 + (b4 - 0x30)), the code
// point of the first one, and how many follow on. Sequences outside every run decode to
// nothing. The same table as the GNU C library's, which the Linux build decodes with.
struct FourByteRun
{
    std::uint32_t firstIndex;
    char32_t firstCodePoint;
    std::uint32_t length;
};
constexpr std::array kFourByteRuns{
    FourByteRun{0, 0x80, 36},
    FourByteRun{36, 0xA5, 2},
    FourByteRun{38, 0xA9, 7},
    FourByteRun{45, 0xB2, 5},
    FourByteRun{50, 0xB8, 31},
    FourByteRun{81, 0xD8, 8},
    FourByteRun{89, 0xE2, 6},
    FourByteRun{95, 0xEB, 1},
    FourByteRun{96, 0xEE, 4},
    FourByteRun{100, 0xF4, 3},
    FourByteRun{103, 0xF8, 1},
    FourByteRun{104, 0xFB, 1},
    FourByteRun{105, 0xFD, 4},
    FourByteRun{109, 0x102, 17},
    FourByteRun{126, 0x114, 7},
    FourByteRun{133, 0x11C, 15},
    FourByteRun{148, 0x12C, 24},
    FourByteRun{172, 0x145, 3},
    FourByteRun{175, 0x149, 4},
    FourByteRun{179, 0x14E, 29},
    FourByteRun{208, 0x16C, 98},
    FourByteRun{306, 0x1CF, 1},
    FourByteRun{307, 0x1D1, 1},
    FourByteRun{308, 0x1D3, 1},
    FourByteRun{309, 0x1D5, 1},
    FourByteRun{310, 0x1D7, 1},
    FourByteRun{311, 0x1D9, 1},
    FourByteRun{312, 0x1DB, 1},
    FourByteRun{313, 0x1DD, 28},
    FourByteRun{341, 0x1FA, 87},
    FourByteRun{428, 0x252, 15},
    FourByteRun{443, 0x262, 101},
    FourByteRun{544, 0x2C8, 1},
    FourByteRun{545, 0x2CC, 13},
    FourByteRun{558, 0x2DA, 183},
    FourByteRun{741, 0x3A2, 1},
    FourByteRun{742, 0x3AA, 7},
    FourByteRun{749, 0x3C2, 1},
    FourByteRun{750, 0x3CA, 55},
    FourByteRun{805, 0x402, 14},
    FourByteRun{819, 0x450, 1},
    FourByteRun{820, 0x452, 6637},
    FourByteRun{7457, 0xE7C7, 1},
    FourByteRun{7458, 0x1E40, 464},
    FourByteRun{7922, 0x2011, 2},
    FourByteRun{7924, 0x2017, 1},
    FourByteRun{7925, 0x201A, 2},
    FourByteRun{7927, 0x201E, 7},
    FourByteRun{7934, 0x2027, 9},
    FourByteRun{7943, 0x2031, 1},
    FourByteRun{7944, 0x2034, 1},
    FourByteRun{7945, 0x2036, 5},
    FourByteRun{7950, 0x203C, 112},
    FourByteRun{8062, 0x20AD, 86},
    FourByteRun{8148, 0x2104, 1},
    FourByteRun{8149, 0x2106, 3},
    FourByteRun{8152, 0x210A, 12},
    FourByteRun{8164, 0x2117, 10},
    FourByteRun{8174, 0x2122, 62},
    FourByteRun{8236, 0x216C, 4},
    FourByteRun{8240, 0x217A, 22},
    FourByteRun{8262, 0x2194, 2},
    FourByteRun{8264, 0x219A, 110},
    FourByteRun{8374, 0x2209, 6},
    FourByteRun{8380, 0x2210, 1},
    FourByteRun{8381, 0x2212, 3},
    FourByteRun{8384, 0x2216, 4},
    FourByteRun{8388, 0x221B, 2},
    FourByteRun{8390, 0x2221, 2},
    FourByteRun{8392, 0x2224, 1},
    FourByteRun{8393, 0x2226, 1},
    FourByteRun{8394, 0x222C, 2},
    FourByteRun{8396, 0x222F, 5},
    FourByteRun{8401, 0x2238, 5},
    FourByteRun{8406, 0x223E, 10},
    FourByteRun{8416, 0x2249, 3},
    FourByteRun{8419, 0x224D, 5},
    FourByteRun{8424, 0x2253, 13},
    FourByteRun{8437, 0x2262, 2},
    FourByteRun{8439, 0x2268, 6},
    FourByteRun{8445, 0x2270, 37},
    FourByteRun{8482, 0x2296, 3},
    FourByteRun{8485, 0x229A, 11},
    FourByteRun{8496, 0x22A6, 25},
    FourByteRun{8521, 0x22C0, 82},
    FourByteRun{8603, 0x2313, 333},
    FourByteRun{8936, 0x246A, 10},
    FourByteRun{8946, 0x249C, 100},
    FourByteRun{9046, 0x254C, 4},
    FourByteRun{9050, 0x2574, 13},
    FourByteRun{9063, 0x2590, 3},
    FourByteRun{9066, 0x2596, 10},
    FourByteRun{9076, 0x25A2, 16},
    FourByteRun{9092, 0x25B4, 8},
    FourByteRun{9100, 0x25BE, 8},
    FourByteRun{9108, 0x25C8, 3},
    FourByteRun{9111, 0x25CC, 2},
    FourByteRun{9113, 0x25D0, 18},
    FourByteRun{9131, 0x25E6, 31},
    FourByteRun{9162, 0x2607, 2},
    FourByteRun{9164, 0x260A, 54},
    FourByteRun{9218, 0x2641, 1},
    FourByteRun{9219, 0x2643, 2110},
    FourByteRun{11329, 0x2E82, 2},
    FourByteRun{11331, 0x2E85, 3},
    FourByteRun{11334, 0x2E89, 2},
    FourByteRun{11336, 0x2E8D, 10},
    FourByteRun{11346, 0x2E98, 15},
    FourByteRun{11361, 0x2EA8, 2},
    FourByteRun{11363, 0x2EAB, 3},
    FourByteRun{11366, 0x2EAF, 4},
    FourByteRun{11370, 0x2EB4, 2},
    FourByteRun{11372, 0x2EB8, 3},
    FourByteRun{11375, 0x2EBC, 14},
    FourByteRun{11389, 0x2ECB, 293},
    FourByteRun{11682, 0x2FFC, 4},
    FourByteRun{11686, 0x3004, 1},
    FourByteRun{11687, 0x3018, 5},
    FourByteRun{11692, 0x301F, 2},
    FourByteRun{11694, 0x302A, 20},
    FourByteRun{11714, 0x303F, 2},
    FourByteRun{11716, 0x3094, 7},
    FourByteRun{11723, 0x309F, 2},
    FourByteRun{11725, 0x30F7, 5},
    FourByteRun{11730, 0x30FF, 6},
    FourByteRun{11736, 0x312A, 246},
    FourByteRun{11982, 0x322A, 7},
    FourByteRun{11989, 0x3232, 113},
    FourByteRun{12102, 0x32A4, 234},
    FourByteRun{12336, 0x3390, 12},
    FourByteRun{12348, 0x339F, 2},
    FourByteRun{12350, 0x33A2, 34},
    FourByteRun{12384, 0x33C5, 9},
    FourByteRun{12393, 0x33CF, 2},
    FourByteRun{12395, 0x33D3, 2},
    FourByteRun{12397, 0x33D6, 113},
    FourByteRun{12510, 0x3448, 43},
    FourByteRun{12553, 0x3474, 298},
    FourByteRun{12851, 0x359F, 111},
    FourByteRun{12962, 0x360F, 11},
    FourByteRun{12973, 0x361B, 765},
    FourByteRun{13738, 0x3919, 85},
    FourByteRun{13823, 0x396F, 96},
    FourByteRun{13919, 0x39D1, 14},
    FourByteRun{13933, 0x39E0, 147},
    FourByteRun{14080, 0x3A74, 218},
    FourByteRun{14298, 0x3B4F, 287},
    FourByteRun{14585, 0x3C6F, 113},
    FourByteRun{14698, 0x3CE1, 885},
    FourByteRun{15583, 0x4057, 264},
    FourByteRun{15847, 0x4160, 471},
    FourByteRun{16318, 0x4338, 116},
    FourByteRun{16434, 0x43AD, 4},
    FourByteRun{16438, 0x43B2, 43},
    FourByteRun{16481, 0x43DE, 248},
    FourByteRun{16729, 0x44D7, 373},
    FourByteRun{17102, 0x464D, 20},
    FourByteRun{17122, 0x4662, 193},
    FourByteRun{17315, 0x4724, 5},
    FourByteRun{17320, 0x472A, 82},
    FourByteRun{17402, 0x477D, 16},
    FourByteRun{17418, 0x478E, 441},
    FourByteRun{17859, 0x4948, 50},
    FourByteRun{17909, 0x497B, 2},
    FourByteRun{17911, 0x497E, 4},
    FourByteRun{17915, 0x4984, 1},
    FourByteRun{17916, 0x4987, 20},
    FourByteRun{17936, 0x499C, 3},
    FourByteRun{17939, 0x49A0, 22},
    FourByteRun{17961, 0x49B8, 703},
    FourByteRun{18664, 0x4C78, 39},
    FourByteRun{18703, 0x4CA4, 111},
    FourByteRun{18814, 0x4D1A, 148},
    FourByteRun{18962, 0x4DAF, 81},
    FourByteRun{19043, 0x9FA6, 14},
    FourByteRun{19065, 0x9FBC, 14404},
    FourByteRun{33469, 0xE76C, 1},
    FourByteRun{33470, 0xE7C8, 1},
    FourByteRun{33471, 0xE7E7, 13},
    FourByteRun{33484, 0xE815, 1},
    FourByteRun{33485, 0xE819, 5},
    FourByteRun{33490, 0xE81F, 7},
    FourByteRun{33497, 0xE827, 4},
    FourByteRun{33501, 0xE82D, 4},
    FourByteRun{33505, 0xE833, 8},
    FourByteRun{33513, 0xE83C, 7},
    FourByteRun{33520, 0xE844, 16},
    FourByteRun{33536, 0xE856, 14},
    FourByteRun{33550, 0xE865, 4295},
    FourByteRun{37845, 0xF92D, 76},
    FourByteRun{37921, 0xF97A, 27},
    FourByteRun{37948, 0xF996, 81},
    FourByteRun{38029, 0xF9E8, 9},
    FourByteRun{38038, 0xF9F2, 26},
    FourByteRun{38064, 0xFA10, 1},
    FourByteRun{38065, 0xFA12, 1},
    FourByteRun{38066, 0xFA15, 3},
    FourByteRun{38069, 0xFA19, 6},
    FourByteRun{38075, 0xFA22, 1},
    FourByteRun{38076, 0xFA25, 2},
    FourByteRun{38078, 0xFA2A, 998},
    FourByteRun{39086, 0xFE1A, 22},
    FourByteRun{39108, 0xFE32, 1},
    FourByteRun{39109, 0xFE45, 4},
    FourByteRun{39113, 0xFE53, 1},
    FourByteRun{39114, 0xFE58, 1},
    FourByteRun{39115, 0xFE67, 1},
    FourByteRun{39116, 0xFE6C, 149},
    FourByteRun{39265, 0xFF5F, 129},
    FourByteRun{39394, 0xFFE6, 26},
    FourByteRun{189000, 0x10000, 1048576},
};

static_assert(std::is_sorted(kFourByteRuns.begin(), kFourByteRuns.end(),
                             [](const FourByteRun& a, const FourByteRun& b) {
                                 return a.firstIndex < b.firstIndex;
                             }),
              "runs are looked up by binary search");

// Two-byte sequences that GB18030 reads otherwise than Windows' code page 936, where they are
// private-use characters (or, 0xA2E3, another one): vertical forms, radicals and the characters
// later versions of the standard gave real code points.
constexpr std::array kPairsBeyondCodePage936{
    Gb18030Pair{0xA2E3, 0x20AC},  Gb18030Pair{0xA6D9, 0xFE10},  Gb18030Pair{0xA6DA, 0xFE12},
    Gb18030Pair{0xA6DB, 0xFE11},  Gb18030Pair{0xA6DC, 0xFE13},  Gb18030Pair{0xA6DD, 0xFE14},
    Gb18030Pair{0xA6DE, 0xFE15},  Gb18030Pair{0xA6DF, 0xFE16},  Gb18030Pair{0xA6EC, 0xFE17},
    Gb18030Pair{0xA6ED, 0xFE18},  Gb18030Pair{0xA6F3, 0xFE19},  Gb18030Pair{0xA8BC, 0x1E3F},
    Gb18030Pair{0xA8BF, 0x01F9},  Gb18030Pair{0xA989, 0x303E},  Gb18030Pair{0xA98A, 0x2FF0},
    Gb18030Pair{0xA98B, 0x2FF1},  Gb18030Pair{0xA98C, 0x2FF2},  Gb18030Pair{0xA98D, 0x2FF3},
    Gb18030Pair{0xA98E, 0x2FF4},  Gb18030Pair{0xA98F, 0x2FF5},  Gb18030Pair{0xA990, 0x2FF6},
    Gb18030Pair{0xA991, 0x2FF7},  Gb18030Pair{0xA992, 0x2FF8},  Gb18030Pair{0xA993, 0x2FF9},
    Gb18030Pair{0xA994, 0x2FFA},  Gb18030Pair{0xA995, 0x2FFB},  Gb18030Pair{0xFE50, 0x2E81},
    Gb18030Pair{0xFE51, 0x20087}, Gb18030Pair{0xFE52, 0x20089}, Gb18030Pair{0xFE53, 0x200CC},
    Gb18030Pair{0xFE54, 0x2E84},  Gb18030Pair{0xFE55, 0x3473},  Gb18030Pair{0xFE56, 0x3447},
    Gb18030Pair{0xFE57, 0x2E88},  Gb18030Pair{0xFE58, 0x2E8B},  Gb18030Pair{0xFE59, 0x9FB4},
    Gb18030Pair{0xFE5A, 0x359E},  Gb18030Pair{0xFE5B, 0x361A},  Gb18030Pair{0xFE5C, 0x360E},
    Gb18030Pair{0xFE5D, 0x2E8C},  Gb18030Pair{0xFE5E, 0x2E97},  Gb18030Pair{0xFE5F, 0x396E},
    Gb18030Pair{0xFE60, 0x3918},  Gb18030Pair{0xFE61, 0x9FB5},  Gb18030Pair{0xFE62, 0x39CF},
    Gb18030Pair{0xFE63, 0x39DF},  Gb18030Pair{0xFE64, 0x3A73},  Gb18030Pair{0xFE65, 0x39D0},
    Gb18030Pair{0xFE66, 0x9FB6},  Gb18030Pair{0xFE67, 0x9FB7},  Gb18030Pair{0xFE68, 0x3B4E},
    Gb18030Pair{0xFE69, 0x3C6E},  Gb18030Pair{0xFE6A, 0x3CE0},  Gb18030Pair{0xFE6B, 0x2EA7},
    Gb18030Pair{0xFE6C, 0x215D7}, Gb18030Pair{0xFE6D, 0x9FB8},  Gb18030Pair{0xFE6E, 0x2EAA},
    Gb18030Pair{0xFE6F, 0x4056},  Gb18030Pair{0xFE70, 0x415F},  Gb18030Pair{0xFE71, 0x2EAE},
    Gb18030Pair{0xFE72, 0x4337},  Gb18030Pair{0xFE73, 0x2EB3},  Gb18030Pair{0xFE74, 0x2EB6},
    Gb18030Pair{0xFE75, 0x2EB7},  Gb18030Pair{0xFE76, 0x2298F}, Gb18030Pair{0xFE77, 0x43B1},
    Gb18030Pair{0xFE78, 0x43AC},  Gb18030Pair{0xFE79, 0x2EBB},  Gb18030Pair{0xFE7A, 0x43DD},
    Gb18030Pair{0xFE7B, 0x44D6},  Gb18030Pair{0xFE7C, 0x4661},  Gb18030Pair{0xFE7D, 0x464C},
    Gb18030Pair{0xFE7E, 0x9FB9},  Gb18030Pair{0xFE80, 0x4723},  Gb18030Pair{0xFE81, 0x4729},
    Gb18030Pair{0xFE82, 0x477C},  Gb18030Pair{0xFE83, 0x478D},  Gb18030Pair{0xFE84, 0x2ECA},
    Gb18030Pair{0xFE85, 0x4947},  Gb18030Pair{0xFE86, 0x497A},  Gb18030Pair{0xFE87, 0x497D},
    Gb18030Pair{0xFE88, 0x4982},  Gb18030Pair{0xFE89, 0x4983},  Gb18030Pair{0xFE8A, 0x4985},
    Gb18030Pair{0xFE8B, 0x4986},  Gb18030Pair{0xFE8C, 0x499F},  Gb18030Pair{0xFE8D, 0x499B},
    Gb18030Pair{0xFE8E, 0x49B7},  Gb18030Pair{0xFE8F, 0x49B6},  Gb18030Pair{0xFE90, 0x9FBA},
    Gb18030Pair{0xFE91, 0x241FE}, Gb18030Pair{0xFE92, 0x4CA3},  Gb18030Pair{0xFE93, 0x4C9F},
    Gb18030Pair{0xFE94, 0x4CA0},  Gb18030Pair{0xFE95, 0x4CA1},  Gb18030Pair{0xFE96, 0x4C77},
    Gb18030Pair{0xFE97, 0x4CA2},  Gb18030Pair{0xFE98, 0x4D13},  Gb18030Pair{0xFE99, 0x4D14},
    Gb18030Pair{0xFE9A, 0x4D15},  Gb18030Pair{0xFE9B, 0x4D16},  Gb18030Pair{0xFE9C, 0x4D17},
    Gb18030Pair{0xFE9D, 0x4D18},  Gb18030Pair{0xFE9E, 0x4D19},  Gb18030Pair{0xFE9F, 0x4DAE},
    Gb18030Pair{0xFEA0, 0x9FBB},
};

bool isDigit(unsigned char byte) noexcept
{
    return byte >= 0x30 && byte <= 0x39;
}

bool isLead(unsigned char byte) noexcept
{
    return byte >= 0x81 && byte <= 0xFE;
}

} // namespace

std::optional<char32_t> gb18030FourByte(std::string_view bytes) noexcept
{
    if (bytes.size() < 4)
        return std::nullopt;
    const auto b1 = static_cast<unsigned char>(bytes[0]);
    const auto b2 = static_cast<unsigned char>(bytes[1]);
    const auto b3 = static_cast<unsigned char>(bytes[2]);
    const auto b4 = static_cast<unsigned char>(bytes[3]);
    if (!isLead(b1) || !isDigit(b2) || !isLead(b3) || !isDigit(b4))
        return std::nullopt;
    const std::uint32_t index =
        ((static_cast<std::uint32_t>(b1 - 0x81) * 10 + (b2 - 0x30)) * 126 + (b3 - 0x81)) * 10 + (b4 - 0x30);
    const auto after =
        std::upper_bound(kFourByteRuns.begin(), kFourByteRuns.end(), index,
                         [](std::uint32_t i, const FourByteRun& run) { return i < run.firstIndex; });
    if (after == kFourByteRuns.begin())
        return std::nullopt;
    const FourByteRun& run = *(after - 1);
    if (index - run.firstIndex >= run.length)
        return std::nullopt;
    return run.firstCodePoint + (index - run.firstIndex);
}

std::span<const Gb18030Pair> gb18030PairsBeyondCodePage936() noexcept
{
    return kPairsBeyondCodePage936;
}

} // namespace tavrin::text
