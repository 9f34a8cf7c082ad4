#include "text/code_page_table.h"

#include "text/gb18030.h"
#include "text/utf8_sequence.h"

namespace tavrin::text {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD"; // U+FFFD in UTF-8
constexpr std::size_t kPairRows = 128;                             // lead bytes 0x80..0xFF

std::size_t pairIndex(unsigned char lead, unsigned char trail) noexcept
{
    return static_cast<std::size_t>(lead - 0x80) * 256 + trail;
}

} // namespace

CodePageTable::CodePageTable()
    : single_(256, kNoCharacter)
{}

void CodePageTable::setPair(unsigned char lead, unsigned char trail, char32_t value)
{
    if (lead < 0x80)
        return;
    if (pairs_.empty())
        pairs_.assign(kPairRows * 256, kNoCharacter);
    pairs_[pairIndex(lead, trail)] = value;
}

char32_t CodePageTable::pair(unsigned char lead, unsigned char trail) const noexcept
{
    if (lead < 0x80 || pairs_.empty())
        return kNoCharacter;
    return pairs_[pairIndex(lead, trail)];
}

CodePageTable::Character CodePageTable::characterAt(std::string_view bytes) const noexcept
{
    const auto first = static_cast<unsigned char>(bytes[0]);
    const char32_t value = single_[first];
    if (value != kLeadByte)
        return {value == kNoCharacter ? 0u : 1u, value};
    if (bytes.size() >= 2) {
        const char32_t paired = pair(first, static_cast<unsigned char>(bytes[1]));
        if (paired != kNoCharacter)
            return {2, paired};
    }
    if (gb18030_) {
        if (const std::optional<char32_t> four = gb18030FourByte(bytes))
            return {4, *four};
    }
    return {0, kNoCharacter};
}

std::string CodePageTable::decodeToUtf8(std::string_view bytes, BrokenLength broken) const
{
    std::string output;
    output.reserve(bytes.size() + bytes.size() / 2);
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::string_view rest = bytes.substr(at);
        const Character character = characterAt(rest);
        if (character.length == 0) {
            output.append(kReplacementCharacter);
            at += std::max<std::size_t>(broken(rest), 1);
            continue;
        }
        appendUtf8(output, character.value);
        at += character.length;
    }
    return output;
}

void CodePageTable::prepareEncoding()
{
    encoding_.assign(0x10000, kNoBytes);
    // The shortest sequence wins, and among equals the first: where two sequences decode to the
    // same character, encoding gives the one a round trip started from.
    for (unsigned byte = 0; byte < 256; ++byte) {
        const char32_t value = single_[byte];
        if (value < 0x10000 && encoding_[value] == kNoBytes)
            encoding_[value] = static_cast<std::uint16_t>(byte);
    }
    if (pairs_.empty())
        return;
    for (unsigned lead = 0x80; lead < 256; ++lead) {
        if (single_[lead] != kLeadByte)
            continue;
        for (unsigned trail = 0; trail < 256; ++trail) {
            const char32_t value =
                pairs_[pairIndex(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail))];
            if (value < 0x10000 && encoding_[value] == kNoBytes)
                encoding_[value] = static_cast<std::uint16_t>(lead << 8 | trail);
        }
    }
}

bool CodePageTable::encode(char32_t codePoint, std::string& out) const
{
    if (codePoint >= encoding_.size() || encoding_[codePoint] == kNoBytes)
        return false;
    const std::uint16_t bytes = encoding_[codePoint];
    if (bytes > 0xFF)
        out.push_back(static_cast<char>(bytes >> 8));
    out.push_back(static_cast<char>(bytes & 0xFF));
    return true;
}

} // namespace tavrin::text
