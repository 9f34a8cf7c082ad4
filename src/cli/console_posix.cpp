#include "cli/console.h"

#include <unistd.h>

namespace tavrin::cli {

std::vector<std::string> utf8Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

// A terminal takes the program's UTF-8 as it is.
ConsoleOutput::ConsoleOutput()
    : terminal_(::isatty(STDOUT_FILENO) != 0)
{}

ConsoleOutput::~ConsoleOutput() = default;

} // namespace tavrin::cli
