#include "cli/cli.h"

#include "cli/cli_texts.h"
#include "cli/convert_command.h"
#include "cli/fetch_command.h"
#include "cli/help_formatter.h"
#include "cli/history_command.h"
#include "cli/ping_command.h"
#include "cli/prune_command.h"
#include "cli/report_command.h"
#include "cli/submit_command.h"
#include "text/encoding.h"
#include "text/messages.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>
#include <vector>

namespace tavrin::cli {

int run(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool outIsTerminal)
{
    CLI::App app(std::string(texts::kProgramDescription), "tavrin-cli");
    // Before the subcommands: each takes its parent's formatter when it is added.
    app.formatter(std::make_shared<HelpFormatter>());
    // Answered before the subcommand is required, so `tavrin-cli --version` alone is enough.
    app.set_version_flag("--version", "tavrin-cli " + text::gbkToUtf8(msg::kVersion));
    app.require_subcommand(1);
    std::vector<std::unique_ptr<Command>> commands;
    commands.push_back(addFetchCommand(app));
    commands.push_back(addSubmitCommand(app, outIsTerminal));
    commands.push_back(addConvertCommand(app));
    commands.push_back(addPingCommand(app));
    commands.push_back(addHistoryCommand(app));
    commands.push_back(addPruneCommand(app));
    commands.push_back(addReportCommand(app));
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
