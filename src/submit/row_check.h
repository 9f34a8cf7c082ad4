// How the submission engine checks one query URL: fetch it, then judge the response. The real
// check is a timed HTTP request and the response classification; tests substitute their own.
#pragma once

#include "library/mark.h"
#include "submit/classify_response.h"
#include "text/gbk_text.h"

#include <functional>
#include <optional>
#include <stop_token>
#include <string>

namespace tavrin::submit {

// What a check is asked about one row.
struct RowRequest
{
    text::Text url;
    // The template the URL was expanded from ("{$url}" standing for the site host), when the
    // row has one; the baseline rule expands it with a host nobody owns.
    std::optional<text::Text> templateText;
    // The host the URL was expanded with; empty when not known (no mention or link can then be
    // found).
    text::Text siteHost;
    // The stricter rule of a single-row submit: an empty body fails.
    bool emptyBodyFails = false;
};

// What became of the baseline rule (a page that is the same for any site lists nobody) for a row.
enum class BaselineCheck
{
    NotApplied, // the rule was off, or the row had failed another rule before it
    Differs,    // the row's page differs from the control page: the rule passes the row
    Same,       // the same page once each page's host is blanked out: the rule fails the row
    // The control page could not be read (no answer, an error status after the retries, cut
    // short, or no proxy could carry it): the rule could not be applied, and the row keeps the
    // verdict of the other rules.
    Unreadable,
};

// What the check saw, beside its verdict.
struct RowEvidence
{
    // Where the last request of the redirect chain went; empty when none was made.
    text::Text finalUrl;
    // Requests made for the row's own page (1 when nothing was retried, 0 when none could be
    // made); the baseline rule's control page is not counted.
    int attempts = 0;
    // Bytes of the final response's body.
    long long bytes = 0;
    // The page's title, UTF-8 (see PageEvidence).
    std::string titleUtf8;
    bool mentionsSite = false;
    bool linksToSite = false;
    BaselineCheck baseline = BaselineCheck::NotApplied;
};

// What the check of one row found: the verdict, the test that decided it, and the evidence.
struct RowResult
{
    // Success or Failure; NotChecked when the proxies could not carry the row (reason says why).
    library::Mark mark = library::Mark::Failure;
    ResponseTest decidedBy = ResponseTest::Passed;
    // The HTTP status of the final response; 0 when none arrived.
    int httpStatus = 0;
    // What decided the mark, for people reading a report ("404 in header", "HTTP 503" ...).
    std::string reason;
    long long milliseconds = 0;
    // No response came within the time limit.
    bool timedOut = false;
    // The time limit the check ran under, in seconds.
    int timeLimitSeconds = 0;
    RowEvidence evidence;
};

// Checks one row. Must return promptly once `stop` is raised; the outcome is then ignored.
using RowCheck = std::function<RowResult(const RowRequest& request, const std::stop_token& stop)>;

} // namespace tavrin::submit
