#include "submit/classify_response.h"

#include "text/messages.h"

namespace tavrin::submit {

namespace {

bool contains(std::string_view haystack, std::string_view needle)
{
    return text::find(haystack, needle) > 0;
}

} // namespace

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

ResponseVerdict classifyResponse(std::string_view headerText, std::string_view bodyText, bool emptyBodyFails)
{
    const int status = statusCodeOf(headerText);
    const auto fail = [status](ResponseTest test) { return ResponseVerdict{false, test, status}; };
    if (headerText.empty())
        return fail(ResponseTest::NoResponse);
    if (contains(headerText, " 404 "))
        return fail(ResponseTest::NotFound);
    if (emptyBodyFails && bodyText.empty())
        return fail(ResponseTest::EmptyBody);
    // The three spellings of a meta refresh that the services use; others are not looked for.
    if (contains(bodyText, "http-equiv=refresh") || contains(bodyText, "http-equiv='refresh'") ||
        contains(bodyText, "http-equiv=\"refresh\""))
        return fail(ResponseTest::MetaRefresh);
    if (contains(bodyText, "res://shdoclc.dll"))
        return fail(ResponseTest::BrowserErrorPage);
    // A refusal, a missing page or a service that is down is no listing of the site, whatever
    // its error page says.
    if (isErrorStatus(status))
        return fail(ResponseTest::HttpError);
    return ResponseVerdict{true, ResponseTest::Passed, status};
}

library::Mark verdictMark(const ResponseVerdict& verdict)
{
    return verdict.success ? library::Mark::Success : library::Mark::Failure;
}

std::string_view describeTest(ResponseTest test)
{
    switch (test) {
    case ResponseTest::NoResponse:
        return "no response";
    case ResponseTest::NotFound:
        return "404 in header";
    case ResponseTest::EmptyBody:
        return "empty body";
    case ResponseTest::MetaRefresh:
        return "meta refresh";
    case ResponseTest::BrowserErrorPage:
        return "browser error page";
    case ResponseTest::HttpError:
        return "HTTP";
    case ResponseTest::NotMentioned:
        return "site not mentioned";
    case ResponseTest::NoLink:
        return "no link to site";
    case ResponseTest::SamePage:
        return "same page for any site";
    case ResponseTest::Passed:
        break;
    }
    return {};
}

std::string describeVerdict(const ResponseVerdict& verdict)
{
    if (verdict.decidedBy == ResponseTest::HttpError)
        return "HTTP " + std::to_string(verdict.status);
    return std::string(describeTest(verdict.decidedBy));
}

} // namespace tavrin::submit
