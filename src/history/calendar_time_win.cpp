#include "history/calendar_time.h"

namespace tavrin::history {

// The C runtime's _s forms write into the caller's fields, as the _r forms do on POSIX.
std::tm utcCalendar(std::time_t at)
{
    std::tm fields{};
    ::gmtime_s(&fields, &at);
    return fields;
}

std::tm localCalendar(std::time_t at)
{
    std::tm fields{};
    ::localtime_s(&fields, &at);
    return fields;
}

} // namespace tavrin::history
