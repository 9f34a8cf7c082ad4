// How many bytes this process has read so far: for tests that a file is refused without being
// read. Linux counts them in /proc/self/io, Windows in the process's I/O counters.
#pragma once

#include <fstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace tavrin::testing_support {

// -1 when the system does not say.
inline long long bytesReadSoFar()
{
#ifdef _WIN32
    IO_COUNTERS counters{};
    if (!::GetProcessIoCounters(::GetCurrentProcess(), &counters))
        return -1;
    return static_cast<long long>(counters.ReadTransferCount);
#else
    std::ifstream io("/proc/self/io");
    for (std::string line; std::getline(io, line);) {
        if (line.starts_with("rchar:"))
            return std::stoll(line.substr(6));
    }
    return -1;
#endif
}

} // namespace tavrin::testing_support
