// The rule that turns a fetched response into the mark of its row.
#pragma once

#include "library/mark.h"
#include "text/gbk_text.h"

#include <string>
#include <string_view>

namespace tavrin::submit {

// The test that decided a verdict, in the order the tests are applied. The first that hits
// makes the row fail; when none hits the row succeeds (Passed).
enum class ResponseTest
{
    NoResponse,       // the header text is empty: no response came (or none in time)
    NotFound,         // " 404 " (blank, 404, blank) somewhere in the header text
    EmptyBody,        // only when empty bodies fail: the body text is empty
    MetaRefresh,      // http-equiv=refresh, http-equiv='refresh' or http-equiv="refresh"
    BrowserErrorPage, // res://shdoclc.dll, a link to the browser's built-in error pages
    HttpError,        // the final status is 400 to 599: refused, missing, or the service is down
    // Stricter rules, applied only when asked for, after all of the above passed.
    NotMentioned, // the page does not name the site
    NoLink,       // the page has no link to the site
    SamePage,     // the page is the same whatever site is asked about (a soft 404)
    Passed,
};

struct ResponseVerdict
{
    bool success = false;
    ResponseTest decidedBy = ResponseTest::NoResponse;
    // The status code of the header text's status line; 0 when there is none.
    int status = 0;
};

// The status code of a raw header text's status line ("HTTP/1.1 404 Not Found" gives 404); 0
// when there is none.
[[nodiscard]] int statusCodeOf(std::string_view headerText);

// Statuses that count as a failure of the request whatever the page says.
[[nodiscard]] constexpr bool isErrorStatus(int status)
{
    return status >= 400 && status <= 599;
}

// Classifies a response. `bodyText` is the body as text, up to its first NUL byte. Searches
// compare bytes exactly and start only on character boundaries, so the second byte of a GBK
// character never begins a match. `emptyBodyFails` is false in a pass and true for the
// single-row submit.
[[nodiscard]] ResponseVerdict classifyResponse(std::string_view headerText, std::string_view bodyText,
                                               bool emptyBodyFails);

// What a failing test means, in a few words for people reading a diagnosis ("404 in header");
// empty for Passed. HttpError reads "HTTP" here; describeVerdict adds the code.
[[nodiscard]] std::string_view describeTest(ResponseTest test);

// The name of the test that decided the verdict, with the status for an HTTP error ("HTTP 503");
// empty for a success.
[[nodiscard]] std::string describeVerdict(const ResponseVerdict& verdict);

// The row mark of a verdict: Success or Failure.
[[nodiscard]] library::Mark verdictMark(const ResponseVerdict& verdict);

} // namespace tavrin::submit
