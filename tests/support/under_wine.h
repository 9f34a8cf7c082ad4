// Whether the test runs under wine rather than on Windows itself: for the few figures that wine
// does not keep (a stub that answers 0), never for behaviour.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

namespace tavrin::testing_support {

[[nodiscard]] inline bool runningUnderWine()
{
#ifdef _WIN32
    // Wine's own ntdll exports its version; Windows' has no such function.
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

} // namespace tavrin::testing_support
