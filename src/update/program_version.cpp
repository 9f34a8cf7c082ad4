#include "update/program_version.h"

#include "text/gbk_text.h"

#include <algorithm>
#include <array>
#include <string>

namespace tavrin::update {

namespace {

// More digits than this could overflow a part; no real version has them.
constexpr std::size_t kMostDigits = 18;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isSeparator(char c)
{
    return c == ' ' || c == '-' || c == '_' || c == '.';
}

// Full-width ASCII look-alikes (GBK 0xA3 0xA1..0xFE) and the full-width space folded to ASCII, as
// a notice typed with a Chinese input method may hold them; other characters are kept as they are.
std::string foldFullWidth(std::string_view text)
{
    std::string folded;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = text::charLength(text, at);
        const auto lead = static_cast<unsigned char>(text[at]);
        const auto trail = length == 2 ? static_cast<unsigned char>(text[at + 1]) : 0;
        if (length == 2 && lead == 0xA3 && trail >= 0xA1)
            folded.push_back(static_cast<char>(trail - 0x80));
        else if (length == 2 && lead == 0xA1 && trail == 0xA1)
            folded.push_back(' ');
        else
            folded.append(text.substr(at, length));
        at += length;
    }
    return folded;
}

// Reads the digits at `at` into `value`; false when there are none or too many.
bool readNumber(std::string_view text, std::size_t& at, std::uint64_t& value)
{
    const std::size_t start = at;
    value = 0;
    while (at < text.size() && isDigit(text[at])) {
        value = value * 10 + static_cast<std::uint64_t>(text[at] - '0');
        ++at;
        if (at - start > kMostDigits)
            return false;
    }
    return at > start;
}

// Reads the stage word at `at`, in any letter case.
std::optional<ReleaseStage> readStage(std::string_view text, std::size_t& at)
{
    struct Word
    {
        std::string_view word;
        ReleaseStage stage;
    };
    static constexpr std::array<Word, 3> kWords{{{"alpha", ReleaseStage::Alpha},
                                                 {"beta", ReleaseStage::Beta},
                                                 {"rc", ReleaseStage::ReleaseCandidate}}};
    const std::string_view rest = text.substr(at);
    for (const Word& word : kWords) {
        if (text::startsWithIgnoringAsciiCase(rest, word.word)) {
            at += word.word.size();
            return word.stage;
        }
    }
    return std::nullopt;
}

} // namespace

std::strong_ordering operator<=>(const ProgramVersion& a, const ProgramVersion& b)
{
    const std::size_t parts = std::max(a.numbers.size(), b.numbers.size());
    for (std::size_t part = 0; part < parts; ++part) {
        const std::uint64_t left = part < a.numbers.size() ? a.numbers[part] : 0;
        const std::uint64_t right = part < b.numbers.size() ? b.numbers[part] : 0;
        if (left != right)
            return left <=> right;
    }
    if (a.stage != b.stage)
        return a.stage <=> b.stage;
    return a.stageNumber <=> b.stageNumber;
}

std::optional<ProgramVersion> readProgramVersion(std::string_view written)
{
    const std::string folded = foldFullWidth(written);
    std::string_view text = folded;
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);

    ProgramVersion version;
    std::size_t at = 0;
    if (at < text.size() && (text[at] == 'v' || text[at] == 'V'))
        ++at;
    std::uint64_t number = 0;
    if (!readNumber(text, at, number))
        return std::nullopt;
    version.numbers.push_back(number);
    while (at + 1 < text.size() && text[at] == '.' && isDigit(text[at + 1])) {
        ++at;
        if (!readNumber(text, at, number))
            return std::nullopt;
        version.numbers.push_back(number);
    }
    if (at == text.size())
        return version;

    if (isSeparator(text[at]))
        ++at;
    const std::optional<ReleaseStage> stage = readStage(text, at);
    if (!stage)
        return std::nullopt;
    version.stage = *stage;
    if (at == text.size())
        return version;
    if (isSeparator(text[at]))
        ++at;
    if (!readNumber(text, at, version.stageNumber) || at != text.size())
        return std::nullopt;
    return version;
}

bool isNewerVersion(std::string_view newest, std::string_view current)
{
    const std::optional<ProgramVersion> offered = readProgramVersion(newest);
    const std::optional<ProgramVersion> running = readProgramVersion(current);
    return offered && running && *offered > *running;
}

} // namespace tavrin::update
