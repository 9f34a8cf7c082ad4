// tavrin-cli ping: tells the blog ping services of a list that the user's site changed (an
// XML-RPC weblogUpdates.ping to each), and with an IndexNow key submits the site's URLs to
// IndexNow. Every request is in flight at once on the network thread; the outcomes are printed
// in the list's order, one line each: "√ ENDPOINT" or "× ENDPOINT reason".
#pragma once

#include "cli/command.h"

#include <memory>

namespace CLI {
class App;
}

namespace tavrin::cli {

// Registers "ping" on `app`.
[[nodiscard]] std::unique_ptr<Command> addPingCommand(CLI::App& app);

} // namespace tavrin::cli
