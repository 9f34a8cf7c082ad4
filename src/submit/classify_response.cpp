#include "submit/classify_response.h"

#include "text/messages.h"

namespace tavrin::submit {

namespace {

bool contains(std::string_view haystack, std::string_view needle)
{
    return text::find(haystack, needle) > 0;
}

} // namespace

ResponseVerdict classifyResponse(std::string_view headerText, std::string_view bodyText, bool emptyBodyFails)
{
    const auto fail = [](ResponseTest test) { return ResponseVerdict{false, test}; };
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
    return ResponseVerdict{true, ResponseTest::Passed};
}

const text::Text& verdictMark(const ResponseVerdict& verdict)
{
    return verdict.success ? msg::kMarkSuccess : msg::kMarkFailure;
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
    case ResponseTest::Passed:
        break;
    }
    return {};
}

} // namespace tavrin::submit
