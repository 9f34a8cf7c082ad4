// What the fuzz targets share: invariant checks and the split of an input into values.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// A broken invariant prints the condition and aborts; libFuzzer reports the abort as a crash
// and writes the input that caused it to a crash-* file.
#define TAVRIN_FUZZ_CHECK(condition)                                                                         \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition);           \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)

namespace tavrin::fuzz {

// A byte string of at most `maxLength` bytes taken from the front of the input. Unlike
// ConsumeRandomLengthString, which ends a string at "\\" and doubles backslashes, this keeps
// every byte value reachable, NUL and backslash included.
inline std::string takeBytes(FuzzedDataProvider& data, std::size_t maxLength)
{
    return data.ConsumeBytesAsString(data.ConsumeIntegralInRange<std::size_t>(0, maxLength));
}

// The next field of an input made of fields ended by LF, taken off its front; the last field
// needs no LF, and a missing one is empty.
inline std::string_view takeLine(std::string_view& input)
{
    const std::size_t end = input.find('\n');
    const std::string_view line = input.substr(0, end);
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    return line;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, nothing cut off.
// Written out here so that no target leans on the code it checks.
inline bool isValidUtf8(std::string_view bytes)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        const unsigned char first = static_cast<unsigned char>(bytes[at]);
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (first < 0x80) {
            length = 1;
        } else if (first >= 0xC2 && first <= 0xDF) {
            length = 2;
        } else if (first >= 0xE0 && first <= 0xEF) {
            length = 3;
            low = first == 0xE0 ? 0xA0 : 0x80;
            high = first == 0xED ? 0x9F : 0xBF;
        } else if (first >= 0xF0 && first <= 0xF4) {
            length = 4;
            low = first == 0xF0 ? 0x90 : 0x80;
            high = first == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (at + length > bytes.size())
            return false;
        for (std::size_t i = 1; i < length; ++i) {
            const unsigned char next = static_cast<unsigned char>(bytes[at + i]);
            if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF))
                return false;
        }
        at += length;
    }
    return true;
}

} // namespace tavrin::fuzz
