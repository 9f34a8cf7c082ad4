// tavrin-cli: the program's command line, one subcommand per job ("fetch", "submit").
#pragma once

#include <iosfwd>

namespace tavrin::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitBadArguments = 2;

// Parses the arguments (UTF-8, as the terminal gives them), runs the chosen subcommand and
// writes to `out` and `err` in UTF-8. Returns the exit code: 0 when the command did its job,
// 2 for bad arguments. `outIsTerminal` lets long commands show a live progress line. Tests call
// it in-process with string streams.
int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool outIsTerminal = false);

} // namespace tavrin::cli
