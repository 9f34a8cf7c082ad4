// Times of the history (seconds since 1970) as people and programs read them.
#pragma once

#include "history/history_store.h"

#include <string>

namespace tavrin::history {

// The time in UTC by a strftime format ("%Y-%m-%dT%H:%M:%SZ").
[[nodiscard]] std::string utcTime(Seconds at, const char* format);
// The time in the machine's own time zone by a strftime format.
[[nodiscard]] std::string localTime(Seconds at, const char* format);

} // namespace tavrin::history
