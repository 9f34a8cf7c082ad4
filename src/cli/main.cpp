#include "cli/cli.h"

#include <iostream>

int main(int argc, char** argv)
{
    return tavrin::cli::run(argc, argv, std::cout, std::cerr);
}
