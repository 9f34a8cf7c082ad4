// What the fuzz targets share: invariant checks and the split of an input into values.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

} // namespace tavrin::fuzz
