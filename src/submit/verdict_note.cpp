#include "submit/verdict_note.h"

#include "text/encoding.h"
#include "text/messages.h"

namespace tavrin::submit {

namespace {

namespace words = msg::verdict;
using text::Text;

Text decidingTest(const RowResult& outcome)
{
    switch (outcome.decidedBy) {
    case ResponseTest::Passed:
        return (outcome.evidence.mentionsSite ? words::kMentioned : words::kNotMentioned) + words::kAnd +
               (outcome.evidence.linksToSite ? words::kLinked : words::kNotLinked);
    case ResponseTest::NoResponse:
        return outcome.timedOut ? text::decimal(outcome.timeLimitSeconds) + words::kNoResponseWithin
                                : words::kNoResponse;
    case ResponseTest::NotFound:
        return words::kNotFound;
    case ResponseTest::EmptyBody:
        return words::kEmptyBody;
    case ResponseTest::MetaRefresh:
        return words::kMetaRefresh;
    case ResponseTest::BrowserErrorPage:
        return words::kBrowserErrorPage;
    case ResponseTest::HttpError:
        return "HTTP " + text::decimal(outcome.httpStatus);
    case ResponseTest::NotMentioned:
        return words::kNotMentioned;
    case ResponseTest::NoLink:
        return words::kNoLinkToSite;
    case ResponseTest::SamePage:
        return words::kSamePage;
    }
    return {};
}

} // namespace

Text verdictNote(const RowResult& outcome)
{
    const RowEvidence& evidence = outcome.evidence;
    Text note = library::markText(outcome.mark) + words::kSeparator + decidingTest(outcome);
    if (evidence.attempts > 1)
        note += words::kRetriedPrefix + text::decimal(evidence.attempts - 1) + words::kRetriedSuffix;
    // A verdict the baseline rule had no part in, though asked: the user should not take the √
    // for one that passed it.
    if (evidence.baseline == BaselineCheck::Unreadable)
        note += "\r\n" + words::kControlUnreadable;
    if (outcome.httpStatus > 0)
        note += "\r\n" + words::kStatus + text::decimal(outcome.httpStatus);
    if (!evidence.titleUtf8.empty())
        note += "\r\n" + words::kTitle + text::utf8ToGbk(evidence.titleUtf8);
    if (!evidence.finalUrl.empty())
        note += "\r\n" + words::kFinalUrl + evidence.finalUrl;
    note += "\r\n";
    if (outcome.httpStatus > 0)
        note += words::kSize + text::decimal(evidence.bytes) + words::kBytes + words::kAnd;
    note += words::kTime + text::decimal(outcome.milliseconds) + words::kMilliseconds;
    return note;
}

} // namespace tavrin::submit
