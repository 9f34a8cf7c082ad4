// The template file and the substitution of the user's host: templateLines, checkTemplateText,
// siteHost, expandTemplate and collapseHost.
//
// Input: the address as typed into the address box, a line feed, then the bytes of a template
// file.
#include "fuzz_check.h"

#include "library/site_host.h"
#include "library/template_file.h"
#include "text/gbk_text.h"
#include "text/messages.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace {

namespace library = tavrin::library;
namespace msg = tavrin::msg;
namespace text = tavrin::text;
using tavrin::text::Text;

bool isAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A lead byte that does not pair with the byte after it (a broken character).
bool hasLoneLead(std::string_view bytes)
{
    for (std::size_t at = 0; at < bytes.size(); at += text::charLength(bytes, at)) {
        if (text::charLength(bytes, at) == 1 && text::isLeadByte(static_cast<unsigned char>(bytes[at])))
            return true;
    }
    return false;
}

bool sharesAByteIgnoringCase(std::string_view a, std::string_view b)
{
    const Text lowerB = text::asciiLower(b);
    for (const char c : a) {
        const char lowered = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lowerB.find(lowered) != Text::npos)
            return true;
    }
    return false;
}

void checkLines(std::string_view fileBytes, const std::vector<Text>& lines)
{
    // Joining the entries with CR LF gives the text back, less a final CR LF: loading and
    // saving an untouched file keeps it as it was.
    const std::string_view fileText = text::untilNul(fileBytes);
    Text joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        TAVRIN_FUZZ_CHECK(lines[i].find("\r\n") == Text::npos);
        TAVRIN_FUZZ_CHECK(lines[i].find('\0') == Text::npos);
        joined += (i == 0 ? "" : "\r\n") + lines[i];
    }
    if (joined.size() < fileText.size())
        joined += "\r\n";
    TAVRIN_FUZZ_CHECK(joined == fileText);
}

void checkHost(std::string_view address, const Text& host)
{
    // A Chinese host comes out in its ASCII (punycode) form, which may be longer than the bytes
    // typed; any other host is cut from the address.
    const bool ascii = std::all_of(host.begin(), host.end(), [](char c) { return (c & 0x80) == 0; });
    TAVRIN_FUZZ_CHECK(host.size() <= address.size() || ascii);
    TAVRIN_FUZZ_CHECK(host.find_first_of("/?#:") == Text::npos);
    TAVRIN_FUZZ_CHECK(text::asciiLower(host) == host);
    TAVRIN_FUZZ_CHECK(library::siteHost(host) == host);
}

void checkExpansion(std::string_view line, const Text& host)
{
    const Text expanded = library::expandTemplate(line, host);
    const Text cleaned = text::replaceAll(line, msg::kFormatMarker, {});
    if (text::find(line, msg::kFormatMarker) < 0 && text::find(line, msg::kPlaceholder) < 0)
        TAVRIN_FUZZ_CHECK(expanded == line);
    TAVRIN_FUZZ_CHECK(library::collapseHost(expanded, "") == expanded);

    if (host.empty() || !isAscii(host))
        return;
    // Saving a row and loading it again gives the same URL (up to the letter case of the host)
    // as long as the URL holds nothing that loading changes by itself.
    if (text::find(expanded, msg::kFormatMarker) < 0 && text::find(expanded, msg::kPlaceholder) < 0 &&
        !hasLoneLead(expanded)) {
        const Text reloaded = library::expandTemplate(library::collapseHost(expanded, host), host);
        TAVRIN_FUZZ_CHECK(text::asciiLower(reloaded) == text::asciiLower(expanded));
    }
    // Saving gives back the template exactly when nothing but the placeholders could read as
    // the host.
    const Text withoutPlaceholders = text::replaceAll(cleaned, msg::kPlaceholder, {});
    if (!sharesAByteIgnoringCase(withoutPlaceholders, host))
        TAVRIN_FUZZ_CHECK(library::collapseHost(expanded, host) == cleaned);
}

void checkRefusal(std::string_view fileBytes, const std::vector<Text>& lines)
{
    // A file is refused as not text exactly when something other than NUL follows its first
    // NUL; the entry count bound is measured in the entries the loader would add.
    const std::string_view afterText = fileBytes.substr(text::untilNul(fileBytes).size());
    const bool binary = afterText.find_first_not_of('\0') != std::string_view::npos;
    const library::TemplateTextCheck check = library::checkTemplateText(fileBytes);
    TAVRIN_FUZZ_CHECK((check == library::TemplateTextCheck::NotText) == binary);
    if (binary || lines.empty())
        return;
    TAVRIN_FUZZ_CHECK(check == library::TemplateTextCheck::Ok);
    TAVRIN_FUZZ_CHECK(library::checkTemplateText(fileBytes, lines.size() - 1) ==
                      library::TemplateTextCheck::TooManyEntries);
    TAVRIN_FUZZ_CHECK(library::checkTemplateText(fileBytes, lines.size()) == library::TemplateTextCheck::Ok);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineFeed = std::min(input.find('\n'), input.size());
    const std::string_view address = input.substr(0, lineFeed);
    const std::string_view fileBytes = input.substr(std::min(lineFeed + 1, input.size()));

    const Text host = library::siteHost(address);
    checkHost(address, host);
    const std::vector<Text> lines = library::templateLines(fileBytes);
    checkLines(fileBytes, lines);
    checkRefusal(fileBytes, lines);
    for (const Text& line : lines)
        checkExpansion(line, host);
    return 0;
}
