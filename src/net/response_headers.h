// Reading the fields of a response's raw header text.
#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <string_view>

namespace tavrin::net {

// The value of the first header line named `name` (compared without regard to the case of ASCII
// letters), without the blanks around it; nothing when the header text has no such line. The
// status line is never taken for a field.
[[nodiscard]] std::optional<std::string_view> headerValue(std::string_view headerText, std::string_view name);

// How long the response asks its client to wait before asking again: its Retry-After field as
// a number of seconds or as an HTTP date (counted from `now`; a date in the past is no wait).
// Nothing when there is no such field or it is neither.
[[nodiscard]] std::optional<std::chrono::seconds> retryAfter(std::string_view headerText, std::time_t now);

} // namespace tavrin::net
