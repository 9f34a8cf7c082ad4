// Pages read the same on every system: the Linux build decodes with glibc's iconv, the Windows
// build with the system's code pages read as tables. The tables below run on both, so each row
// is checked against both decoders; where the two systems cannot agree, the difference is
// written down and checked as well.
#include "text/charset.h"
#include "text/gb18030.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#ifndef _WIN32
#include "text/iconv_descriptor.h"

#include <iconv.h>
#endif

namespace tavrin::text {
namespace {

using namespace std::string_literals;

#ifdef _WIN32
constexpr bool kOnWindows = true;
#else
constexpr bool kOnWindows = false;
#endif

struct SameCase
{
    const char* label;
    std::string name; // what charsetForLabel gives
    std::string bytes;
    std::string utf8;
};

// Every encoding the Windows build knows, with text and with the bytes that are no text.
TEST(PageEncodings, DecodeTheSameOnEverySystem)
{
    const std::string fffd = "\uFFFD";
    const SameCase cases[] = {
        // The GB family is read as GB18030: two-byte characters, those it reads otherwise than
        // Windows' GBK, its user-defined area (private use), and the four-byte sequences.
        {"gbk", "GB18030", "\xD6\xD0\xCE\xC4", "中文"},
        {"gb2312", "GB18030", "\xA6\xD9\xFE\x51\xA2\xA0", "\uFE10\U00020087\uE585"},
        {"gb18030", "GB18030", "\x81\x30\x81\x30\x95\x32\x82\x36\x84\x31\x87\x30", "\u0080\U00020000\uFE70"},
        // A lone 0x80, and a four-byte sequence cut short: one U+FFFD each, and what follows
        // is read afresh.
        {"gbk", "GB18030",
         "\x80"
         "a\x81\x30 ?",
         fffd + "a" + fffd + "0 ?"},
        {"shift_jis", "CP932", "\x93\xFA\x96\x7B\x8C\xEA\xF0\x40\x80", "日本語\uE000" + fffd},
        {"euc-kr", "CP949", "\xC7\xD1\xB1\xB9\xBE\xEE\x80\xC9\xA1", "한국어" + fffd + fffd + fffd},
        {"big5", "BIG5-HKSCS", "\xBA\xF4\xAF\xB8\x81\x40", "網站" + fffd + "@"},
        {"euc-jp", "EUC-JP", "\xC6\xFC\xCB\xDC\xB8\xEC\x8F\xE4\x21", "日本語" + fffd + fffd + "!"},
        // The single-byte pages; the bytes Windows passes through as control characters are none.
        {"windows-1252", "CP1252", "\x80\x81\xE9", "€" + fffd + "é"},
        {"cp1251", "CP1251", "\xCF\xF0\xE8\xE2\xE5\xF2\x98", "Привет" + fffd},
        {"windows-1250", "WINDOWS-1250", "\x8A\xE8\x81", "Šč" + fffd},
        {"windows-1253", "WINDOWS-1253", "\xC1\xE2\x81", "Αβ" + fffd},
        {"windows-1254", "WINDOWS-1254", "\xD0\xFE\x81", "Ğş" + fffd},
        {"windows-1256", "WINDOWS-1256", "\xC7\xE1", "ال"},
        {"windows-1257", "WINDOWS-1257", "\xD0\xF0\x81", "Šš" + fffd},
        {"windows-874", "WINDOWS-874", "\xA1\x80\x81", "ก€" + fffd},
        {"koi8-r", "KOI8-R", "\xF0\xD2\xC9\xD7\xC5\xD4", "Привет"},
        {"ibm866", "IBM866", "\x8F\xE0\xA8\xA2\xA5\xE2", "Привет"},
        {"iso-8859-2", "ISO-8859-2", "\xA9\x80", "Š\u0080"},
        {"iso_8859-5", "ISO_8859-5", "\xBF\xE0", "Пр"},
        {"iso8859-15", "ISO8859-15", "\xA4", "€"},
        {"utf-16le", "UTF-16LE", "\x3D\xD8\x00\xDE\x41"s, "😀" + fffd},
        {"utf-16be", "UTF-16BE", "\xD8\x3D\xDE\x00\x00\x41\xDC\x00"s, "😀A" + fffd},
    };
    for (const SameCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(charsetForLabel(c.label), c.name);
        EXPECT_EQ(decodeToUtf8(c.bytes, c.label), c.utf8);
    }
}

struct DifferentCase
{
    const char* label;
    std::string bytes;
    std::string onLinux;
    std::string onWindows;
};

// Windows has no Big5 with the Hong Kong supplement, no three-byte EUC-JP, and takes
// Microsoft's forms of a few Big5 signs.
TEST(PageEncodings, DifferOnlyWhereWindowsLacksTheCharacters)
{
    const DifferentCase cases[] = {
        {"big5", "\x87\x40", "䏰", "\uFFFD@"},
        {"big5", "\xA1\x45", "\u2022", "\u2027"},
        {"euc-jp", "\x8F\xB0\xA1", "丂", "\uFFFD亜"},
    };
    for (const DifferentCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(decodeToUtf8(c.bytes, c.label), kOnWindows ? c.onWindows : c.onLinux);
    }
    // Encodings Windows has no code page for count as undeclared there.
    for (const char* label : {"iso-2022-jp", "koi8-u", "iso-8859-7"}) {
        SCOPED_TRACE(label);
        EXPECT_EQ(charsetForLabel(label).has_value(), !kOnWindows);
    }
}

#ifndef _WIN32
// The Windows build reads GB18030's four-byte sequences from a table of its own; it must say
// what glibc's converter says of every one of them.
TEST(Gb18030FourByte, AgreesWithTheSystemConverterOnEverySequence)
{
    const IconvDescriptor descriptor("UTF-32LE", "GB18030");
    ASSERT_TRUE(descriptor.isOpen());
    int disagreements = 0;
    for (int b1 = 0x81; b1 <= 0xFE; ++b1) {
        for (int b2 = 0x30; b2 <= 0x39; ++b2) {
            for (int b3 = 0x81; b3 <= 0xFE; ++b3) {
                for (int b4 = 0x30; b4 <= 0x39; ++b4) {
                    char in[4] = {static_cast<char>(b1), static_cast<char>(b2), static_cast<char>(b3),
                                  static_cast<char>(b4)};
                    char32_t out = 0;
                    char* inAt = in;
                    std::size_t inLeft = 4;
                    char* outAt = reinterpret_cast<char*>(&out);
                    std::size_t outLeft = sizeof out;
                    descriptor.reset();
                    const bool converted = iconv(descriptor.get(), &inAt, &inLeft, &outAt, &outLeft) == 0 &&
                                           inLeft == 0 && outLeft == 0;
                    const std::optional<char32_t> ours = gb18030FourByte(std::string_view(in, 4));
                    const std::optional<char32_t> theirs = converted ? std::optional(out) : std::nullopt;
                    if (ours != theirs && ++disagreements <= 5) {
                        ADD_FAILURE() << std::hex << "sequence " << b1 << ' ' << b2 << ' ' << b3 << ' ' << b4;
                    }
                }
            }
        }
    }
    EXPECT_EQ(disagreements, 0);
}
#endif

} // namespace
} // namespace tavrin::text
