// How the submission engine checks one query URL: fetch it, then judge the response. The real
// check is a timed HTTP request and the response classification; tests substitute their own.
#pragma once

#include "text/gbk_text.h"

#include <functional>
#include <stop_token>
#include <string>

namespace tavrin::submit {

struct RowOutcome
{
    // "√" or "×".
    text::Text mark;
    // The HTTP status of the final response; 0 when none arrived.
    int httpStatus = 0;
    // What decided the mark, for people reading a report ("404 in header", "meta refresh" ...).
    std::string reason;
    long long milliseconds = 0;
};

// Checks `url`. `emptyBodyFails` asks for the stricter rule of a single-row submit. Must return
// promptly once `stop` is raised; the outcome is then ignored.
using RowCheck =
    std::function<RowOutcome(const text::Text& url, bool emptyBodyFails, const std::stop_token& stop)>;

} // namespace tavrin::submit
