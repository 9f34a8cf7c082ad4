// tavrin-cli history: what the history says of each template, worst first.
#pragma once

#include "cli/command.h"

#include <memory>

namespace CLI {
class App;
}

namespace tavrin::cli {

// Registers "history" on `app`.
[[nodiscard]] std::unique_ptr<Command> addHistoryCommand(CLI::App& app);

} // namespace tavrin::cli
