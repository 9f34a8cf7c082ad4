// tavrin-cli convert: a template list in any form the program reads (its own library, UTF-8
// text, a JSON list of another tool) written as a library, read exactly as 导入网址 reads it.
#pragma once

#include "cli/command.h"

#include <memory>

namespace CLI {
class App;
}

namespace tavrin::cli {

// Registers "convert" on `app`.
[[nodiscard]] std::unique_ptr<Command> addConvertCommand(CLI::App& app);

} // namespace tavrin::cli
