#include "cli/cli.h"
#include "cli/interrupt.h"

#include <iostream>

#include <unistd.h>

int main(int argc, char** argv)
{
    tavrin::cli::installInterruptHandler();
    return tavrin::cli::run(argc, argv, std::cout, std::cerr, ::isatty(STDOUT_FILENO) != 0);
}
