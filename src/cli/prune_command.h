// tavrin-cli prune: a template file without the templates that keep failing, by the history.
#pragma once

#include "cli/command.h"

#include <memory>

namespace CLI {
class App;
}

namespace tavrin::cli {

// Registers "prune" on `app`.
[[nodiscard]] std::unique_ptr<Command> addPruneCommand(CLI::App& app);

} // namespace tavrin::cli
