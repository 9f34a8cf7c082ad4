#include "cli/cli.h"
#include "cli/console.h"
#include "cli/interrupt.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    tavrin::cli::installInterruptHandler();
    const tavrin::cli::ConsoleOutput console;
    const std::vector<std::string> arguments = tavrin::cli::utf8Arguments(argc, argv);
    std::vector<const char*> pointers;
    pointers.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments)
        pointers.push_back(argument.c_str());
    pointers.push_back(nullptr);
    return tavrin::cli::run(static_cast<int>(arguments.size()), pointers.data(), std::cout, std::cerr,
                            console.isTerminal());
}
