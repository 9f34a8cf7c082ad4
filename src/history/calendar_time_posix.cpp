#include "history/calendar_time.h"

namespace tavrin::history {

std::tm utcCalendar(std::time_t at)
{
    std::tm fields{};
    ::gmtime_r(&at, &fields);
    return fields;
}

std::tm localCalendar(std::time_t at)
{
    std::tm fields{};
    ::localtime_r(&at, &fields);
    return fields;
}

} // namespace tavrin::history
