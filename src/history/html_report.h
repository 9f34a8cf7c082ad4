// The report of one run as a single HTML file that opens anywhere without network access: the
// run's summary, the success rate of the site's last runs, the verdicts by deciding test, the
// response times, and the templates that newly failed.
//
// The charts are inline SVG written here: a line, some bars and a histogram need no chart
// library, and SVG needs no script, so the file prints, mails and archives as it is and shows
// the same in every browser, years later too.
#pragma once

#include "history/history_store.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tavrin::history {

// How many of the site's runs, up to the reported one, the success-rate chart shows.
inline constexpr int kRunsCharted = 30;

// The report of `run`, UTF-8 HTML; nothing, with the reason in `error`, when the run is not in
// the history or the history cannot be read.
[[nodiscard]] std::optional<std::string> htmlReport(HistoryStore& store, std::int64_t run,
                                                    std::string& error);

} // namespace tavrin::history
