// A character set of one and two bytes a character (and GB18030's four), held as tables of what
// every byte and every pair of bytes decodes to.
//
// The Windows build decodes with these tables, filled once from the system's code pages
// (code_page_win.cpp): Windows converts a whole buffer at a time and says only *that* some byte
// did not convert, never where, while the program must replace each broken character on its own
// and carry on after it, as it does on Linux. Looking characters up in a table also lets the few
// places where Windows and the GNU C library read a code page differently be set right once, when
// the table is filled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin::text {

class CodePageTable
{
public:
    // What a single byte is when it is no character of its own.
    static constexpr char32_t kNoCharacter = 0xFFFFFFFF;
    static constexpr char32_t kLeadByte = 0xFFFFFFFE;

    CodePageTable();

    // Filling, before the table is shared.
    void setSingle(unsigned char byte, char32_t value) noexcept { single_[byte] = value; }
    // Only for a lead byte (setSingle(lead, kLeadByte)).
    void setPair(unsigned char lead, unsigned char trail, char32_t value);
    // GB18030's four-byte sequences (lead byte, '0'..'9', lead byte, '0'..'9') decode by the
    // standard's ranges.
    void addGb18030FourByteSequences() noexcept { gb18030_ = true; }
    // Makes encode() usable; after the last change.
    void prepareEncoding();

    [[nodiscard]] char32_t single(unsigned char byte) const noexcept { return single_[byte]; }
    [[nodiscard]] char32_t pair(unsigned char lead, unsigned char trail) const noexcept;

    // How many bytes a broken character costs: given the text from the broken character on, at
    // least 1.
    using BrokenLength = std::size_t (*)(std::string_view rest);
    // One byte: the next byte may start a character of its own, so a broken double-byte
    // character never swallows the ASCII after it (how pages are read).
    static std::size_t oneByte(std::string_view) noexcept { return 1; }

    // Decodes `bytes` to UTF-8; each broken character becomes one U+FFFD.
    [[nodiscard]] std::string decodeToUtf8(std::string_view bytes, BrokenLength broken = oneByte) const;

    // The bytes of `codePoint`, appended to `out`; false (and nothing appended) when the table has
    // no sequence that decodes to it. After prepareEncoding().
    bool encode(char32_t codePoint, std::string& out) const;

private:
    // The length and value of the character at the start of `bytes`; length 0 when none.
    struct Character
    {
        std::size_t length;
        char32_t value;
    };
    [[nodiscard]] Character characterAt(std::string_view bytes) const noexcept;

    std::vector<char32_t> single_;
    // (lead - 0x80) * 256 + trail, for the code pages with lead bytes; empty otherwise.
    std::vector<char32_t> pairs_;
    bool gb18030_ = false;
    // Basic-plane character -> its bytes (one byte b as b, two as lead << 8 | trail); kNoBytes
    // when none.
    static constexpr std::uint16_t kNoBytes = 0xFFFF;
    std::vector<std::uint16_t> encoding_;
};

} // namespace tavrin::text
