// The note over a checked row's mark: what decided it, in the window's words, and whether the
// baseline rule could be applied.
#include "submit/verdict_note.h"
#include "text/encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrin::submit {
namespace {

TEST(VerdictNote, SaysWhenTheBaselineRuleCouldNotBeApplied)
{
    const struct
    {
        const char* label;
        library::Mark mark;
        ResponseTest decidedBy;
        BaselineCheck baseline;
        // The note's lines before the status line, UTF-8.
        std::string opening;
    } cases[] = {
        {"rule off", library::Mark::Success, ResponseTest::Passed, BaselineCheck::NotApplied,
         "√：页面没有提到网址，没有链接"},
        {"page differs", library::Mark::Success, ResponseTest::Passed, BaselineCheck::Differs,
         "√：页面没有提到网址，没有链接"},
        {"same page", library::Mark::Failure, ResponseTest::SamePage, BaselineCheck::Same,
         "×：任何网址都是同一页面"},
        {"control page unreadable", library::Mark::Success, ResponseTest::Passed, BaselineCheck::Unreadable,
         "√：页面没有提到网址，没有链接\r\n对照页面无法读取，未做对照检查"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        RowResult result;
        result.mark = c.mark;
        result.decidedBy = c.decidedBy;
        result.httpStatus = 200;
        result.evidence.attempts = 1;
        result.evidence.baseline = c.baseline;
        const std::string note = text::gbkToUtf8(verdictNote(result));
        EXPECT_EQ(note.substr(0, note.find("\r\n状态：")), c.opening);
    }
}

} // namespace
} // namespace tavrin::submit
