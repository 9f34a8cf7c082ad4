// The classification of a fetched response into "√" or "×", and which test decided it.
#include "submit/classify_response.h"
#include "text/messages.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace tavrin::submit {
namespace {

using namespace std::string_literals;

const std::string kOk = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";

struct ClassifyCase
{
    std::string label;
    std::string header;
    std::string body;
    ResponseTest inPass;      // emptyBodyFails false
    ResponseTest inSingleRow; // emptyBodyFails true
};

void PrintTo(const ClassifyCase& c, std::ostream* os)
{
    *os << c.label;
}

class ClassifyResponseTest : public testing::TestWithParam<ClassifyCase>
{
};

TEST_P(ClassifyResponseTest, DecidesByTheFirstTestThatHits)
{
    const ClassifyCase& c = GetParam();
    const ResponseVerdict pass = classifyResponse(c.header, c.body, false);
    EXPECT_EQ(pass.decidedBy, c.inPass);
    EXPECT_EQ(pass.success, c.inPass == ResponseTest::Passed);
    const ResponseVerdict single = classifyResponse(c.header, c.body, true);
    EXPECT_EQ(single.decidedBy, c.inSingleRow);
    EXPECT_EQ(single.success, c.inSingleRow == ResponseTest::Passed);
}

INSTANTIATE_TEST_SUITE_P(
    Responses, ClassifyResponseTest,
    testing::Values(ClassifyCase{"PageWithContent", kOk, "<html>site info</html>", ResponseTest::Passed,
                                 ResponseTest::Passed},
                    // A request that never got a response (look-up failed, refused, timed out) comes back
                    // with no header text, so it fails in a pass as well.
                    ClassifyCase{"NoResponse", "", "", ResponseTest::NoResponse, ResponseTest::NoResponse},
                    ClassifyCase{"StatusLine404", "HTTP/1.1 404 Not Found\r\n\r\n", "missing",
                                 ResponseTest::NotFound, ResponseTest::NotFound},
                    ClassifyCase{"Blank404BlankInAnotherLine",
                                 "HTTP/1.1 200 OK\r\nX-Note: error 404 here\r\n\r\n", "x",
                                 ResponseTest::NotFound, ResponseTest::NotFound},
                    ClassifyCase{"Digits404BeforeLineEnd", "HTTP/1.1 200 OK\r\nX-Code: 404\r\n\r\n", "x",
                                 ResponseTest::Passed, ResponseTest::Passed},
                    ClassifyCase{"404WinsOverEmptyBody", "HTTP/1.0 404 Not Found\r\n\r\n", "",
                                 ResponseTest::NotFound, ResponseTest::NotFound},
                    ClassifyCase{"EmptyBody", kOk, "", ResponseTest::Passed, ResponseTest::EmptyBody},
                    ClassifyCase{"ServerErrorFails", "HTTP/1.1 500 Internal Server Error\r\n\r\n", "oops",
                                 ResponseTest::HttpError, ResponseTest::HttpError},
                    ClassifyCase{"RefusalFails", "HTTP/1.1 403 Forbidden\r\n\r\n", "go away",
                                 ResponseTest::HttpError, ResponseTest::HttpError},
                    ClassifyCase{"LastErrorStatusFails", "HTTP/1.1 599 Whatever\r\n\r\n", "x",
                                 ResponseTest::HttpError, ResponseTest::HttpError},
                    ClassifyCase{"RedirectAndOtherSuccessStatusesCount", "HTTP/1.1 302 Found\r\n\r\n", "x",
                                 ResponseTest::Passed, ResponseTest::Passed},
                    ClassifyCase{"StatusesBeyond599Count", "HTTP/1.1 600 Odd\r\n\r\n", "x",
                                 ResponseTest::Passed, ResponseTest::Passed},
                    // The older tests keep their order: they name the failure when both hit.
                    ClassifyCase{"MetaRefreshNamedBeforeTheStatus", "HTTP/1.1 503 Busy\r\n\r\n",
                                 "<meta http-equiv=refresh content=0>", ResponseTest::MetaRefresh,
                                 ResponseTest::MetaRefresh},
                    ClassifyCase{"EmptyBodyNamedBeforeTheStatus", "HTTP/1.1 410 Gone\r\n\r\n", "",
                                 ResponseTest::HttpError, ResponseTest::EmptyBody},
                    ClassifyCase{"RefreshBare", kOk, "<meta http-equiv=refresh content=0>",
                                 ResponseTest::MetaRefresh, ResponseTest::MetaRefresh},
                    ClassifyCase{"RefreshSingleQuoted", kOk, "<meta http-equiv='refresh' content=0>",
                                 ResponseTest::MetaRefresh, ResponseTest::MetaRefresh},
                    ClassifyCase{"RefreshDoubleQuoted", kOk, "<meta http-equiv=\"refresh\" content=\"0\">",
                                 ResponseTest::MetaRefresh, ResponseTest::MetaRefresh},
                    ClassifyCase{"RefreshInCapitalsIsNotLookedFor", kOk, "<meta HTTP-EQUIV=\"refresh\">",
                                 ResponseTest::Passed, ResponseTest::Passed},
                    ClassifyCase{"RefreshWithBlankBeforeEqualsIsNotLookedFor", kOk,
                                 "<meta http-equiv =\"refresh\">", ResponseTest::Passed,
                                 ResponseTest::Passed},
                    ClassifyCase{"BrowserErrorPage", kOk, "<a href=\"res://shdoclc.dll/dnserror.htm\">",
                                 ResponseTest::BrowserErrorPage, ResponseTest::BrowserErrorPage},
                    // 'h' is a GBK trail byte: after the lead byte 0x81 it is the second half of a
                    // character, so no match may start there.
                    ClassifyCase{"MatchNeverStartsInsideADoubleByteCharacter", kOk, "\x81http-equiv=refresh",
                                 ResponseTest::Passed, ResponseTest::Passed},
                    ClassifyCase{"MatchAfterADoubleByteCharacter", kOk, "\xB0\xA1http-equiv=refresh",
                                 ResponseTest::MetaRefresh, ResponseTest::MetaRefresh}),
    [](const testing::TestParamInfo<ClassifyCase>& row) { return row.param.label; });

TEST(DescribeVerdict, NamesAnHttpErrorByItsCode)
{
    const ResponseVerdict verdict = classifyResponse("HTTP/1.1 503 Service Unavailable\r\n\r\n", "x", false);
    EXPECT_EQ(verdict.status, 503);
    EXPECT_EQ(describeVerdict(verdict), "HTTP 503");
    EXPECT_EQ(describeVerdict(classifyResponse(kOk, "", true)), "empty body");
    EXPECT_EQ(describeVerdict(classifyResponse(kOk, "x", false)), "");
}

TEST(VerdictMark, IsTheProgramsOwnMark)
{
    EXPECT_EQ(verdictMark(ResponseVerdict{true, ResponseTest::Passed}), library::Mark::Success);
    EXPECT_EQ(verdictMark(ResponseVerdict{false, ResponseTest::NotFound}), library::Mark::Failure);
    EXPECT_EQ(library::markText(verdictMark(ResponseVerdict{true, ResponseTest::Passed})), msg::kMarkSuccess);
    EXPECT_EQ(library::markText(verdictMark(ResponseVerdict{false, ResponseTest::NotFound})),
              msg::kMarkFailure);
}

} // namespace
} // namespace tavrin::submit
