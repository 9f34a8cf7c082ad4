// Runs tavrin-cli in the test's own process, as if from a shell, and keeps what it printed.
#pragma once

#include "cli/cli.h"

#include <sstream>
#include <string>
#include <vector>

namespace tavrin::testing_support {

struct CliRun
{
    int exitCode = 0;
    std::string out;
    std::string err;
};

// `arguments` without the program name; `terminal` makes the output what a terminal gets.
inline CliRun runCli(std::vector<std::string> arguments, bool terminal = false)
{
    arguments.insert(arguments.begin(), "tavrin-cli");
    std::vector<const char*> argv;
    argv.reserve(arguments.size());
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    std::ostringstream out;
    std::ostringstream err;
    const int code = cli::run(static_cast<int>(argv.size()), argv.data(), out, err, terminal);
    return {code, out.str(), err.str()};
}

// The lines of what a command printed, without their line ends.
inline std::vector<std::string> linesOf(const std::string& printed)
{
    std::vector<std::string> lines;
    std::istringstream in(printed);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace tavrin::testing_support
