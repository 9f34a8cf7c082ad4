// A moment as calendar fields, in UTC or in the local time zone, without the shared buffer of
// std::gmtime/std::localtime (the history is read on several threads).
#pragma once

#include <ctime>

namespace tavrin::history {

[[nodiscard]] std::tm utcCalendar(std::time_t at);
[[nodiscard]] std::tm localCalendar(std::time_t at);

} // namespace tavrin::history
