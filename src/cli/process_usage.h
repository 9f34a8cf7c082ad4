// What this process holds right now (from /proc/self on Linux, process_usage_posix.cpp; from the
// process's counters on Windows, process_usage_win.cpp): for the per-pass figures of
// tavrin-cli submit --pass-stats, which show whether a long looping run grows.
#pragma once

namespace tavrin::cli {

struct ProcessUsage
{
    // Resident memory and its peak so far (VmRSS, VmHWM; the working set on Windows), in KiB;
    // 0 when unknown.
    long residentKiB = 0;
    long peakResidentKiB = 0;
    // Threads of the process, this one included; 0 when unknown.
    int threads = 0;
    // Open file descriptors (sockets included), not counting the one used to list them; on
    // Windows the process's handles, of every kind.
    int openFiles = 0;
};

[[nodiscard]] ProcessUsage readProcessUsage();

} // namespace tavrin::cli
