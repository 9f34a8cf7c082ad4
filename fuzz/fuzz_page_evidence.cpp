// readPageEvidence: a page from a stranger decoded, parsed with gumbo in pieces, and searched
// for its title, a mention of the site and a link to it.
//
// Input: the site host up to the first LF, the address the page came from up to the second, the
// Content-Type value up to the third, and the rest is the body. Missing fields are empty.
#include "fuzz_check.h"

#include "submit/page_evidence.h"
#include "text/charset.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

namespace submit = tavrin::submit;
namespace text = tavrin::text;

constexpr std::size_t kRereadBytes = std::size_t{64} * 1024;

bool isTitleBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

char lowered(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool containsIgnoringCase(std::string_view text, std::string_view needle)
{
    return std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                       [](char a, char b) { return lowered(a) == lowered(b); }) != text.end();
}

bool isAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isLowerAlnum(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Whether URL readers take a label for a number: decimal, or hexadecimal after "0x" ("0xcc" is
// 204).
bool isNumberLabel(std::string_view label)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    if (label.starts_with("0x"))
        return std::all_of(label.begin() + 2, label.end(),
                           [&](char c) { return isDigit(c) || (c >= 'a' && c <= 'f'); });
    return std::all_of(label.begin(), label.end(), isDigit);
}

// A host name as the address box gives one: labels of small letters, digits and inner dashes,
// the last one not a number (curl reads "1.2.3" and "0xcc" as IPv4 addresses and writes them
// otherwise).
bool isPlainHostName(std::string_view host)
{
    if (host.empty() || host.size() > 253)
        return false;
    bool lastIsNumber = false;
    for (std::size_t start = 0; start <= host.size();) {
        const std::size_t dot = std::min(host.find('.', start), host.size());
        const std::string_view label = host.substr(start, dot - start);
        if (label.empty() || label.size() > 63 || !isLowerAlnum(label.front()) || !isLowerAlnum(label.back()))
            return false;
        if (!std::all_of(label.begin(), label.end(), [](char c) { return isLowerAlnum(c) || c == '-'; }))
            return false;
        lastIsNumber = isNumberLabel(label);
        start = dot + 1;
    }
    return !lastIsNumber;
}

bool readsAsciiAsItself(std::string_view body, std::string_view contentType)
{
    const std::string charset = text::pickCharset(body, contentType).name;
    return charset == "UTF-8" || charset == "GB18030" || charset == "CP1252";
}

bool operator==(const submit::PageEvidence& a, const submit::PageEvidence& b)
{
    return a.titleUtf8 == b.titleUtf8 && a.mentionsSite == b.mentionsSite && a.linksToSite == b.linksToSite;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string_view siteHost = tavrin::fuzz::takeLine(input);
    const std::string_view finalUrl = tavrin::fuzz::takeLine(input);
    const std::string_view contentType = tavrin::fuzz::takeLine(input);
    const std::string_view body = input;

    const submit::PageEvidence evidence = submit::readPageEvidence(body, contentType, finalUrl, siteHost);

    // The title is what the window shows: UTF-8, within the limit, blanks collapsed and trimmed.
    const std::string& title = evidence.titleUtf8;
    TAVRIN_FUZZ_CHECK(tavrin::fuzz::isValidUtf8(title));
    TAVRIN_FUZZ_CHECK(title.size() <= submit::kMaxTitleBytes);
    if (!title.empty())
        TAVRIN_FUZZ_CHECK(title.front() != ' ' && title.back() != ' ');
    TAVRIN_FUZZ_CHECK(title.find("  ") == std::string::npos);
    TAVRIN_FUZZ_CHECK(
        std::none_of(title.begin(), title.end(), [](char c) { return c != ' ' && isTitleBlank(c); }));

    // Without a site there is nothing to mention or link to, and the title does not depend on
    // whether one is searched for.
    const submit::PageEvidence noSite = submit::readPageEvidence(body, contentType, finalUrl, "");
    TAVRIN_FUZZ_CHECK(!noSite.mentionsSite && !noSite.linksToSite);
    TAVRIN_FUZZ_CHECK(noSite.titleUtf8 == title);
    if (siteHost.empty())
        TAVRIN_FUZZ_CHECK(noSite == evidence);

    // An ASCII page in an encoding that reads ASCII as itself names an ASCII site wherever its
    // bytes hold it.
    if (!siteHost.empty() && isAscii(siteHost) && isAscii(body) && readsAsciiAsItself(body, contentType) &&
        containsIgnoringCase(body, siteHost))
        TAVRIN_FUZZ_CHECK(evidence.mentionsSite);

    // A link to the site at the very start of a page is found whatever follows it.
    if (isPlainHostName(siteHost)) {
        const std::string linked =
            "<a href=\"http://" + std::string(siteHost) + "/\">x</a>" + std::string(body);
        if (readsAsciiAsItself(linked, contentType)) {
            const submit::PageEvidence found =
                submit::readPageEvidence(linked, contentType, finalUrl, siteHost);
            TAVRIN_FUZZ_CHECK(found.mentionsSite && found.linksToSite);
        }
    }

    // The same page reads the same way again (checked on small pages only: a large one, read
    // once more, would take longer than the fuzzer waits).
    if (body.size() < kRereadBytes)
        TAVRIN_FUZZ_CHECK(submit::readPageEvidence(body, contentType, finalUrl, siteHost) == evidence);
    return 0;
}
