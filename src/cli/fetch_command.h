// tavrin-cli fetch: one timedFetch of a URL, as a submission would do it, with the verdict and
// the test that decided it, so a user can see why a template fails.
#pragma once

#include "cli/command.h"

#include <memory>

namespace CLI {
class App;
}

namespace tavrin::cli {

// Registers "fetch" on `app`; the returned command holds the parsed options.
[[nodiscard]] std::unique_ptr<Command> addFetchCommand(CLI::App& app);

} // namespace tavrin::cli
