// GBK <-> UTF-8 through Windows' code page 936, read as the GNU C library reads GBK (see
// code_pages_win.h), so that a text converts to the same bytes on both systems.
#include "text/encoding.h"

#include "text/code_pages_win.h"
#include "text/gbk_text.h"
#include "text/utf8_sequence.h"

#include <cstddef>

namespace tavrin::text {

namespace {

constexpr unsigned kGbkCodePage = 936;

// A broken GBK character is one U+FFFD: a lead byte with a proper second byte counts as one
// character, anything else as a single byte.
std::size_t brokenGbkLength(std::string_view rest) noexcept
{
    return charLength(rest, 0);
}

// Without the code page (a system without its tables) ASCII, which both encodings share, still
// passes through and everything else is substituted.
std::string asciiOnlyToUtf8(std::string_view gbk)
{
    std::string utf8;
    for (std::size_t at = 0; at < gbk.size();) {
        if (static_cast<unsigned char>(gbk[at]) < 0x80) {
            utf8.push_back(gbk[at++]);
        } else {
            utf8.append("\xEF\xBF\xBD");
            at += brokenGbkLength(gbk.substr(at));
        }
    }
    return utf8;
}

} // namespace

std::string gbkToUtf8(std::string_view gbk)
{
    const CodePageTable* table = windowsCodePage(kGbkCodePage);
    if (!table)
        return asciiOnlyToUtf8(gbk);
    return table->decodeToUtf8(gbk, brokenGbkLength);
}

std::string utf8ToGbk(std::string_view utf8)
{
    const CodePageTable* table = windowsCodePage(kGbkCodePage);
    std::string gbk;
    gbk.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const char32_t character = decodeUtf8Character(utf8, at);
        const bool ascii = character < 0x80;
        if (ascii)
            gbk.push_back(static_cast<char>(character));
        else if (!table || !table->encode(character, gbk))
            gbk.push_back('?');
    }
    return gbk;
}

} // namespace tavrin::text
