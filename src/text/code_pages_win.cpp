#include "text/code_pages_win.h"

#include "text/gb18030.h"

#include <map>
#include <memory>
#include <mutex>

#include <windows.h>

namespace tavrin::text {

namespace {

// How a code page's table is read from the system, so that it agrees with the GNU C library's
// converter of the same name (the one the Linux build decodes with).
struct Reading
{
    unsigned codePage;
    // The system page the characters come from.
    unsigned systemPage;
    // The page's user-defined area is left out: the private-use characters Windows gives it are
    // no characters (GBK, Big5, the Korean and Japanese EUC pages).
    bool privateUseIsNoCharacter;
    // An unassigned byte in 0x80..0x9F that Windows passes through as the same-numbered control
    // character is no character (Windows' own "ANSI" pages).
    bool passedThroughByteIsNoCharacter;
    // An EUC page: both bytes of a pair are from 0xA1 up, and 0x8F (which starts the three-byte
    // characters Windows does not have) is no character of its own.
    bool euc = false;
};

constexpr Reading kReadings[] = {
    // GBK, as the program keeps its own texts.
    {936, 936, true, false},
    // GB18030 keeps the user-defined area, as private-use characters.
    {kGb18030CodePage, 936, false, false},
    // Shift_JIS, Microsoft's form, whose user-defined area both systems keep.
    {932, 932, false, true},
    // Korean (Unified Hangul Code).
    {949, 949, true, true},
    // Big5.
    {950, 950, true, false},
    // EUC-JP.
    {20932, 20932, true, false, true},
    // Thai, and the "ANSI" pages of Central Europe, Cyrillic, Western Europe, Greek, Turkish,
    // Arabic and the Baltic.
    {874, 874, false, true},
    {1250, 1250, false, true},
    {1251, 1251, false, true},
    {1252, 1252, false, true},
    {1253, 1253, false, true},
    {1254, 1254, false, true},
    {1256, 1256, false, true},
    {1257, 1257, false, true},
};

// The character `bytes` stand for in the system's page, when they stand for exactly one.
char32_t systemCharacter(unsigned page, const char* bytes, int length)
{
    wchar_t units[4] = {};
    const int count = ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes, length, units, 4);
    if (count == 1 && (units[0] < 0xD800 || units[0] > 0xDFFF))
        return units[0];
    if (count == 2 && units[0] >= 0xD800 && units[0] <= 0xDBFF && units[1] >= 0xDC00 && units[1] <= 0xDFFF)
        return 0x10000 + ((static_cast<char32_t>(units[0]) - 0xD800) << 10) + (units[1] - 0xDC00);
    return CodePageTable::kNoCharacter;
}

bool isPrivateUse(char32_t value) noexcept
{
    return value >= 0xE000 && value <= 0xF8FF;
}

std::unique_ptr<CodePageTable> readTable(const Reading& reading)
{
    if (!::IsValidCodePage(reading.systemPage))
        return nullptr;
    auto table = std::make_unique<CodePageTable>();
    const auto kept = [&](char32_t value) {
        return reading.privateUseIsNoCharacter && isPrivateUse(value) ? CodePageTable::kNoCharacter : value;
    };
    for (unsigned byte = 0; byte < 256; ++byte) {
        const auto b = static_cast<unsigned char>(byte);
        if (::IsDBCSLeadByteEx(reading.systemPage, b)) {
            table->setSingle(b, CodePageTable::kLeadByte);
            for (unsigned trail = 1; trail < 256; ++trail) {
                const char bytes[2] = {static_cast<char>(b), static_cast<char>(trail)};
                const bool possible = !reading.euc || trail >= 0xA1;
                table->setPair(b, static_cast<unsigned char>(trail),
                               possible ? kept(systemCharacter(reading.systemPage, bytes, 2))
                                        : CodePageTable::kNoCharacter);
            }
            continue;
        }
        const char single = static_cast<char>(b);
        char32_t value = kept(systemCharacter(reading.systemPage, &single, 1));
        if (reading.passedThroughByteIsNoCharacter && byte >= 0x80 && byte <= 0x9F && value == byte)
            value = CodePageTable::kNoCharacter;
        if (reading.euc && byte == 0x8F)
            value = CodePageTable::kNoCharacter;
        table->setSingle(b, value);
    }
    if (reading.codePage == kGb18030CodePage) {
        // A lone 0x80 is the euro sign in Windows' GBK only.
        table->setSingle(0x80, CodePageTable::kNoCharacter);
        for (const Gb18030Pair& pair : gb18030PairsBeyondCodePage936())
            table->setPair(static_cast<unsigned char>(pair.bytes >> 8),
                           static_cast<unsigned char>(pair.bytes & 0xFF), pair.value);
        table->addGb18030FourByteSequences();
    }
    table->prepareEncoding();
    return table;
}

} // namespace

const CodePageTable* windowsCodePage(unsigned codePage)
{
    static std::mutex mutex;
    static std::map<unsigned, std::unique_ptr<CodePageTable>> tables;
    const std::lock_guard lock(mutex);
    if (const auto found = tables.find(codePage); found != tables.end())
        return found->second.get();
    // The ISO-8859 pages, KOI8 and the DOS pages read the same on both systems as they are.
    Reading reading{codePage, codePage, false, false};
    for (const Reading& known : kReadings) {
        if (known.codePage == codePage)
            reading = known;
    }
    return tables.emplace(codePage, readTable(reading)).first->second.get();
}

} // namespace tavrin::text
