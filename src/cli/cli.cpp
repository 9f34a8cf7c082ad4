#include "cli/cli.h"

#include "cli/cli_texts.h"
#include "cli/fetch_command.h"
#include "cli/submit_command.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>
#include <vector>

namespace tavrin::cli {

int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool outIsTerminal)
{
    CLI::App app(std::string(texts::kProgramDescription), "tavrin-cli");
    app.require_subcommand(1);
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(addFetchCommand(app));
    commands.push_back(addSubmitCommand(app, outIsTerminal));
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // --help ends here too, with exit code 0; every real parse error is "bad arguments".
        const int code = app.exit(error, out, err);
        return code == 0 ? kExitOk : kExitBadArguments;
    }
    for (const auto& command : commands) {
        if (command->chosen())
            return command->execute(out, err);
    }
    return kExitBadArguments;
}

} // namespace tavrin::cli
