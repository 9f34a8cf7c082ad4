#include "history/time_text.h"

#include "history/calendar_time.h"

namespace tavrin::history {

namespace {

std::string formatted(const std::tm& time, const char* format)
{
    char buffer[64];
    const std::size_t length = std::strftime(buffer, sizeof buffer, format, &time);
    return std::string(buffer, length);
}

} // namespace

std::string utcTime(Seconds at, const char* format)
{
    return formatted(utcCalendar(static_cast<std::time_t>(at)), format);
}

std::string localTime(Seconds at, const char* format)
{
    return formatted(localCalendar(static_cast<std::time_t>(at)), format);
}

} // namespace tavrin::history
