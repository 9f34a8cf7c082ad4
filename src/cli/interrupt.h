// Ctrl-C for long-running commands: the signal handler only raises a flag, which the command
// polls and answers like the stop button (stop, then write what finished).
#pragma once

namespace tavrin::cli {

// Routes SIGINT and SIGTERM to the flag. Idempotent.
void installInterruptHandler();
// Clears the flag; a command calls it when it starts.
void clearInterrupt();
[[nodiscard]] bool interruptRequested();
// Raises the flag as the signal does (tests use it).
void requestInterrupt();

} // namespace tavrin::cli
