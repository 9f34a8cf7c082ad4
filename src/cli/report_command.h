// tavrin-cli report: the report of one recorded run as a self-contained HTML file.
#pragma once

#include "cli/command.h"

#include <memory>

namespace CLI {
class App;
}

namespace tavrin::cli {

// Registers "report" on `app`.
[[nodiscard]] std::unique_ptr<Command> addReportCommand(CLI::App& app);

} // namespace tavrin::cli
