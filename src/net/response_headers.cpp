#include "net/response_headers.h"

#include "text/gbk_text.h"

#include <curl/curl.h>

#include <string>

namespace tavrin::net {

namespace {

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Longer than any time limit; a larger number in a Retry-After field means the same.
constexpr long long kLongestWaitSeconds = 1'000'000'000;

std::optional<long long> wholeSeconds(std::string_view value)
{
    if (value.empty() || value.size() > 30)
        return std::nullopt;
    long long seconds = 0;
    for (const char c : value) {
        if (c < '0' || c > '9')
            return std::nullopt;
        seconds = std::min(seconds * 10 + (c - '0'), kLongestWaitSeconds);
    }
    return seconds;
}

} // namespace

std::optional<std::chrono::seconds> retryAfter(std::string_view headerText, std::time_t now)
{
    const std::optional<std::string_view> value = headerValue(headerText, "Retry-After");
    if (!value)
        return std::nullopt;
    if (const std::optional<long long> seconds = wholeSeconds(*value))
        return std::chrono::seconds(*seconds);
    // Dates are a few dozen characters; anything much longer is not one.
    if (value->size() > 64)
        return std::nullopt;
    const std::string date(*value);
    const std::time_t when = curl_getdate(date.c_str(), nullptr);
    if (when == -1)
        return std::nullopt;
    return std::chrono::seconds(when > now ? when - now : 0);
}

std::optional<std::string_view> headerValue(std::string_view headerText, std::string_view name)
{
    bool statusLine = true;
    while (!headerText.empty()) {
        const std::size_t end = headerText.find("\r\n");
        const std::string_view line = headerText.substr(0, end);
        headerText = end == std::string_view::npos ? std::string_view() : headerText.substr(end + 2);
        if (statusLine) {
            statusLine = false;
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos &&
            text::equalIgnoringAsciiCase(trimBlanks(line.substr(0, colon)), name))
            return trimBlanks(line.substr(colon + 1));
    }
    return std::nullopt;
}

} // namespace tavrin::net
