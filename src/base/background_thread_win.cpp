#include "base/background_thread.h"

#include <string>

#include <windows.h>

namespace tavrin::base {

void makeThisThreadBackground(const char* name) noexcept
{
    // Below normal, as a nice value of 10 is on Linux: still ahead of what runs only when the
    // processor is idle.
    ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    // SetThreadDescription came with Windows 10 version 1607 and is not in every system that
    // runs Windows programs; without it the thread stays unnamed.
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto setDescription = kernel ? reinterpret_cast<SetDescription>(reinterpret_cast<void*>(
                                             ::GetProcAddress(kernel, "SetThreadDescription")))
                                       : nullptr;
    if (!setDescription)
        return;
    try {
        // The names given are ASCII.
        const std::string narrow(name);
        const std::wstring wide(narrow.begin(), narrow.end());
        setDescription(::GetCurrentThread(), wide.c_str());
    } catch (...) {
        // Out of memory for a thread name: the thread stays unnamed.
    }
}

} // namespace tavrin::base
