#include "cli/process_usage.h"

#include <memory>

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

namespace tavrin::cli {

namespace {

struct HandleCloser
{
    void operator()(HANDLE handle) const noexcept { ::CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// Threads of this process, from a snapshot of the system's threads; 0 when none can be taken.
int countOwnThreads()
{
    const HANDLE taken = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (taken == INVALID_HANDLE_VALUE)
        return 0;
    const OwnedHandle snapshot(taken);
    const DWORD self = ::GetCurrentProcessId();
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int threads = 0;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry))
        if (entry.th32OwnerProcessID == self)
            ++threads;
    return threads;
}

} // namespace

ProcessUsage readProcessUsage()
{
    ProcessUsage usage;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    // The working set is what Windows keeps in memory for the process: its resident size.
    if (::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory)) {
        usage.residentKiB = static_cast<long>(memory.WorkingSetSize / 1024);
        usage.peakResidentKiB = static_cast<long>(memory.PeakWorkingSetSize / 1024);
    }
    usage.threads = countOwnThreads();
    // Handles stand for descriptors: files and sockets, but also threads, events and keys.
    DWORD handles = 0;
    if (::GetProcessHandleCount(::GetCurrentProcess(), &handles))
        usage.openFiles = static_cast<int>(handles);
    return usage;
}

} // namespace tavrin::cli
