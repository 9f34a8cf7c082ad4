// classifyResponse: the verdict on a fetched response.
//
// Input: the header text up to and including its first empty line (CR LF CR LF), then the
// body. An input that begins with CR LF CR LF is a response without header text; one without an
// empty line is all header.
#include "fuzz_check.h"

#include "submit/classify_response.h"
#include "text/gbk_text.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

namespace text = tavrin::text;
using tavrin::submit::ResponseTest;
using tavrin::submit::ResponseVerdict;

constexpr std::array<std::string_view, 3> kRefreshSpellings = {"http-equiv=refresh", "http-equiv='refresh'",
                                                               "http-equiv=\"refresh\""};
constexpr std::string_view kErrorPageLink = "res://shdoclc.dll";

bool holds(std::string_view text, std::string_view what)
{
    return text.find(what) != std::string_view::npos;
}

// The code of a status line "HTTP/... NNN", read without the program's own reader; 0 when the
// header does not begin with one.
int plainStatus(std::string_view header)
{
    if (!header.starts_with("HTTP/"))
        return 0;
    const std::size_t space = header.find(' ');
    if (space == std::string_view::npos || header.size() < space + 4)
        return 0;
    int code = 0;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        if (header[i] < '0' || header[i] > '9')
            return 0;
        code = code * 10 + (header[i] - '0');
    }
    return code;
}

bool isAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The verdict by plain byte searches. It is the verdict itself where no match can start inside
// a double-byte character: " 404 " begins with a byte that is never the second byte of one,
// and a body without bytes from 0x80 up holds no double-byte characters at all.
ResponseTest plainSearchVerdict(std::string_view header, std::string_view body, bool emptyBodyFails)
{
    if (header.empty())
        return ResponseTest::NoResponse;
    if (holds(header, " 404 "))
        return ResponseTest::NotFound;
    if (emptyBodyFails && body.empty())
        return ResponseTest::EmptyBody;
    if (std::any_of(kRefreshSpellings.begin(), kRefreshSpellings.end(),
                    [&](std::string_view spelling) { return holds(body, spelling); }))
        return ResponseTest::MetaRefresh;
    if (holds(body, kErrorPageLink))
        return ResponseTest::BrowserErrorPage;
    const int status = plainStatus(header);
    if (status >= 400 && status <= 599)
        return ResponseTest::HttpError;
    return ResponseTest::Passed;
}

void checkVerdict(const ResponseVerdict& verdict, std::string_view header, std::string_view body,
                  bool emptyBodyFails)
{
    TAVRIN_FUZZ_CHECK(verdict.success == (verdict.decidedBy == ResponseTest::Passed));
    TAVRIN_FUZZ_CHECK(tavrin::submit::describeTest(verdict.decidedBy).empty() == verdict.success);
    TAVRIN_FUZZ_CHECK(tavrin::submit::verdictMark(verdict) ==
                      (verdict.success ? tavrin::library::Mark::Success : tavrin::library::Mark::Failure));
    TAVRIN_FUZZ_CHECK(verdict.status == plainStatus(header));

    const ResponseTest plain = plainSearchVerdict(header, body, emptyBodyFails);
    if (isAscii(body)) {
        TAVRIN_FUZZ_CHECK(verdict.decidedBy == plain);
        return;
    }
    // Tests that need a match can only miss one that a byte search sees (it may start inside a
    // double-byte character), never find one that is not there.
    if (verdict.decidedBy == ResponseTest::MetaRefresh)
        TAVRIN_FUZZ_CHECK(plain == ResponseTest::MetaRefresh);
    if (verdict.decidedBy == ResponseTest::BrowserErrorPage)
        TAVRIN_FUZZ_CHECK(plain == ResponseTest::MetaRefresh || plain == ResponseTest::BrowserErrorPage);
    if (verdict.decidedBy == ResponseTest::HttpError)
        TAVRIN_FUZZ_CHECK(plain == ResponseTest::MetaRefresh || plain == ResponseTest::BrowserErrorPage ||
                          plain == ResponseTest::HttpError);
    if (plain == ResponseTest::NoResponse || plain == ResponseTest::NotFound ||
        plain == ResponseTest::EmptyBody || plain == ResponseTest::HttpError)
        TAVRIN_FUZZ_CHECK(verdict.decidedBy == plain);
    if (plain == ResponseTest::Passed)
        TAVRIN_FUZZ_CHECK(verdict.decidedBy == ResponseTest::Passed);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t emptyLine = input.find("\r\n\r\n");
    const std::size_t headerEnd = emptyLine == std::string_view::npos ? input.size()
                                  : emptyLine == 0                    ? 0
                                                                      : emptyLine + 4;
    const std::string_view header = input.substr(0, headerEnd);
    // Callers hand over the body as text, up to its first NUL byte.
    const std::string_view body = text::untilNul(input.substr(emptyLine == 0 ? 4 : headerEnd));

    const ResponseVerdict inPass = tavrin::submit::classifyResponse(header, body, false);
    const ResponseVerdict single = tavrin::submit::classifyResponse(header, body, true);
    checkVerdict(inPass, header, body, false);
    checkVerdict(single, header, body, true);

    // The single-row submit differs from a pass only in failing an empty body.
    if (!body.empty())
        TAVRIN_FUZZ_CHECK(single.decidedBy == inPass.decidedBy);
    else if (inPass.decidedBy == ResponseTest::NoResponse || inPass.decidedBy == ResponseTest::NotFound)
        TAVRIN_FUZZ_CHECK(single.decidedBy == inPass.decidedBy);
    else
        TAVRIN_FUZZ_CHECK(single.decidedBy == ResponseTest::EmptyBody);
    return 0;
}
