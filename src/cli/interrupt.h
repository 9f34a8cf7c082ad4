// Ctrl-C for long-running commands: the signal handler (a console-control handler on Windows)
// only raises a flag, which the command polls and answers like the stop button (stop, then write
// what finished). The handler is installed by interrupt_posix.cpp or interrupt_win.cpp.
#pragma once

namespace tavrin::cli {

// Routes SIGINT and SIGTERM (Ctrl-C and Ctrl-Break in a Windows console) to the flag.
// Idempotent.
void installInterruptHandler();
// Clears the flag; a command calls it when it starts.
void clearInterrupt();
[[nodiscard]] bool interruptRequested();
// Raises the flag as the signal does (the handlers and tests use it). Safe in a signal handler.
void requestInterrupt();

} // namespace tavrin::cli
