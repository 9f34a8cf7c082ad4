// One subcommand of tavrin-cli: it registers its options on the parser, and runs when the
// user chose it.
#pragma once

#include <iosfwd>

namespace tavrin::cli {

class Command
{
public:
    virtual ~Command() = default;
    // True when the parsed command line chose this command.
    [[nodiscard]] virtual bool chosen() const = 0;
    // Runs the command with the parsed options; returns the exit code.
    virtual int execute(std::ostream& out, std::ostream& err) = 0;
};

} // namespace tavrin::cli
