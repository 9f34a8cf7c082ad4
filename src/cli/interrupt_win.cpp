#include "cli/interrupt.h"

#include <windows.h>

namespace tavrin::cli {

namespace {

// Windows calls this on a thread of its own. Ctrl-C and Ctrl-Break are answered like the stop
// button; closing the console, logging off and shutting down are left to the system, which ends
// the process when the handler returns from those anyway.
BOOL WINAPI onConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    requestInterrupt();
    return TRUE;
}

} // namespace

void installInterruptHandler()
{
    // A handler added twice would be called twice; removing it first keeps this idempotent.
    ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
    ::SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

} // namespace tavrin::cli
