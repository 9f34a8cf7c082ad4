// The history database as the commands of tavrin-cli choose and open it.
#pragma once

#include "history/history_store.h"

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <string>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace tavrin::cli {

// Adds --db PATH to `command`, read into `path`.
CLI::Option* addDatabaseOption(CLI::App& command, std::string& path);

// The database --db names, or the user's default one.
[[nodiscard]] std::filesystem::path databasePath(const std::string& option);

// Which checks a command looks at: those of the site --site names (an address or a host; every
// site when empty), of its last `lastRuns` runs (all when 0).
[[nodiscard]] history::HealthFilter healthFilter(const std::string& site, int lastRuns = 0);

// Opens the history for reading; says why on `err` and gives nothing when it cannot.
[[nodiscard]] std::unique_ptr<history::HistoryStore> openHistoryToRead(const std::string& option,
                                                                       std::ostream& err);

} // namespace tavrin::cli
