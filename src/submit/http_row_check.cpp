#include "submit/http_row_check.h"

#include "submit/classify_response.h"

#include <chrono>
#include <string>

namespace tavrin::submit {

int statusCodeOf(std::string_view headerText)
{
    const std::size_t space = headerText.find(' ');
    if (!headerText.starts_with("HTTP/") || space == std::string_view::npos)
        return 0;
    int code = 0;
    int digits = 0;
    for (std::size_t at = space + 1; at < headerText.size() && digits < 3; ++at, ++digits) {
        const char c = headerText[at];
        if (c < '0' || c > '9')
            return 0;
        code = code * 10 + (c - '0');
    }
    return digits == 3 ? code : 0;
}

RowCheck httpRowCheck(int timeLimitSeconds, text::Text proxy)
{
    return [timeLimitSeconds, proxy = std::move(proxy)](const text::Text& url, bool emptyBodyFails,
                                                        const std::stop_token& stop) {
        const auto start = std::chrono::steady_clock::now();
        net::FetchRequest request;
        request.url = url;
        request.proxy = proxy;
        const net::FetchOutcome fetched = net::runTimedFetch(request, timeLimitSeconds, stop);
        // The body counts as text up to its first NUL byte.
        const ResponseVerdict verdict =
            classifyResponse(fetched.headerText, text::untilNul(fetched.body), emptyBodyFails);
        RowOutcome outcome;
        outcome.mark = verdictMark(verdict);
        outcome.httpStatus = statusCodeOf(fetched.headerText);
        outcome.reason = std::string(describeTest(verdict.decidedBy));
        if (fetched.end == net::FetchEnd::TimedOut)
            outcome.reason +=
                " within " +
                std::to_string(timeLimitSeconds > 0 ? timeLimitSeconds : net::kDefaultTimeLimitSeconds) +
                " s";
        else if (verdict.decidedBy == ResponseTest::NoResponse && !fetched.failure.empty())
            outcome.reason += ": " + fetched.failure;
        outcome.milliseconds =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count();
        return outcome;
    };
}

} // namespace tavrin::submit
