// tavrin-cli submit: the window's submission passes without the window. Templates are loaded and
// expanded as the library does, passes run with the same engine and checks, and the result is
// saved like 保存网址 and reported row by row as JSON lines.
#pragma once

#include "cli/command.h"

#include <memory>

namespace CLI {
class App;
}

namespace tavrin::cli {

// Registers "submit" on `app`. With `interactive` (standard output is a terminal) progress is
// one live line; otherwise the status line is printed now and then.
[[nodiscard]] std::unique_ptr<Command> addSubmitCommand(CLI::App& app, bool interactive);

} // namespace tavrin::cli
