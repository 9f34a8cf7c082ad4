// The texts of tavrin-cli's history: the options that choose the database, and the history,
// prune and report commands.
#pragma once

#include <string_view>

namespace tavrin::cli::texts {

inline constexpr std::string_view kDbHelp =
    "the history database (default: $XDG_DATA_HOME/tavrin/history.sqlite, ~/.local/share/... without it)";
inline constexpr std::string_view kNoHistoryHelp = "record nothing of this run in the history";
inline constexpr std::string_view kHistoryProblem = "tavrin-cli: the run goes on without history: ";
inline constexpr std::string_view kCannotReadHistory = "tavrin-cli: cannot read the history: ";

inline constexpr std::string_view kHistoryDescription =
    "Per template of the history: its checks, successes, success rate, last success and failures in a "
    "row, worst first";
inline constexpr std::string_view kHistorySiteHelp = "only the runs for this site (an address or a host)";
inline constexpr std::string_view kRunsHelp = "only the last N runs (of the site, with --site), 1 to 1000000";
inline constexpr std::string_view kCsvHelp = "print CSV (times in UTC, ISO 8601) instead of a table";
inline constexpr std::string_view kHistoryHeader =
    "checks     √    rate  last success      × in a row  template";
inline constexpr std::string_view kCsvHeader =
    "template,checks,successes,success_rate,last_success,failures_in_a_row,failed_runs_in_a_row";
inline constexpr std::string_view kNever = "never";

inline constexpr std::string_view kPruneDescription =
    "Write a template file without the templates that failed each of their last N runs";
inline constexpr std::string_view kPruneTemplatesHelp = "the template file (the program's own format)";
inline constexpr std::string_view kFailedRunsHelp =
    "drop a template that failed each of its last N runs, 2 to 1000000";
inline constexpr std::string_view kPruneSiteHelp = "count only the runs for this site (an address or a host)";
inline constexpr std::string_view kPruneSaveHelp =
    "where to write the kept templates; the template file itself only when named here";
inline constexpr std::string_view kNotALibrary =
    " (not a template file of the program's own format; write one with tavrin-cli convert first)";
inline constexpr std::string_view kDropped = "dropped ";
inline constexpr std::string_view kDroppedOf = " of ";
inline constexpr std::string_view kDroppedTemplates = " templates, wrote ";
inline constexpr std::string_view kDroppedLine = "  dropped: ";
inline constexpr std::string_view kFailedItsLast = "  (failed its last ";
inline constexpr std::string_view kRunsClose = " runs)";

inline constexpr std::string_view kReportDescription =
    "Write the report of a run as one HTML file with charts, readable without network access";
inline constexpr std::string_view kRunHelp =
    "the run to report: its number, 1 or more, as `history` and reports show it";
inline constexpr std::string_view kLastHelp = "report the last run recorded; the default";
inline constexpr std::string_view kHtmlHelp = "the HTML file to write";
inline constexpr std::string_view kNoRunYet = "tavrin-cli: the history holds no run yet: ";
inline constexpr std::string_view kWroteReport = "wrote ";
inline constexpr std::string_view kReportOfRun = " (run ";

} // namespace tavrin::cli::texts
