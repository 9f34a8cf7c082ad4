#include "history/time_text.h"

#include <ctime>

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
    const std::time_t time = at;
    std::tm utc{};
    gmtime_r(&time, &utc);
    return formatted(utc, format);
}

std::string localTime(Seconds at, const char* format)
{
    const std::time_t time = at;
    std::tm local{};
    localtime_r(&time, &local);
    return formatted(local, format);
}

} // namespace tavrin::history
