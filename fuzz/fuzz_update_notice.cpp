// textBetween and the update notice read with it.
//
// The input is read twice: as a fetched notice page, and as the pieces of a notice (values,
// paragraphs of the description, the key order, the page around the block) that are put
// together into a page and must be read back.
#include "fuzz_check.h"

#include "text/gbk_text.h"
#include "update/program_version.h"
#include "update/text_between.h"
#include "update/update_notice.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace notice = tavrin::update::notice;
namespace text = tavrin::text;
using tavrin::text::Text;
using tavrin::update::textBetween;
using tavrin::update::UpdateNotice;

bool holdsAny(std::string_view bytes, std::initializer_list<std::string_view> markers)
{
    return std::any_of(markers.begin(), markers.end(),
                       [&](std::string_view marker) { return bytes.find(marker) != std::string_view::npos; });
}

bool endsInLoneLead(std::string_view bytes)
{
    std::size_t at = 0;
    std::size_t last = 0;
    while (at < bytes.size()) {
        last = at;
        at += text::charLength(bytes, at);
    }
    return !bytes.empty() && text::charLength(bytes, last) == 1 &&
           text::isLeadByte(static_cast<unsigned char>(bytes[last]));
}

void checkTextBetween(std::string_view page, std::string_view start, std::string_view end)
{
    const Text value = textBetween(page, start, end);
    if (value.empty())
        return;
    // The value is the bytes just after the start marker (or where the rule for a missing one
    // leads) and is followed by the end marker, which it does not hold itself.
    const long long startAt = text::find(page, start);
    const auto from = static_cast<std::size_t>(startAt + static_cast<long long>(start.size()) - 1);
    TAVRIN_FUZZ_CHECK(from < page.size());
    TAVRIN_FUZZ_CHECK(page.substr(from, value.size()) == value);
    TAVRIN_FUZZ_CHECK(page.substr(from + value.size(), end.size()) == end);
    TAVRIN_FUZZ_CHECK(text::find(value, end) < 0);
}

void checkFetchedPage(std::string_view page)
{
    const UpdateNotice read = tavrin::update::parseUpdateNotice(page);
    for (const Text* value : {&read.newest, &read.downloadUrl, &read.mode, &read.description}) {
        TAVRIN_FUZZ_CHECK(value->find('\0') == Text::npos);
        TAVRIN_FUZZ_CHECK(value->size() <= page.size());
    }
    // The page ends at its first NUL byte.
    TAVRIN_FUZZ_CHECK(tavrin::update::parseUpdateNotice(std::string(page) + '\0' + notice::kBlockStart) ==
                      read);

    checkTextBetween(page, notice::kBlockStart, notice::kBlockEnd);

    // Versions: never newer than themselves, and never both newer than each other.
    TAVRIN_FUZZ_CHECK(!tavrin::update::isNewerVersion(read.newest, read.newest));
    TAVRIN_FUZZ_CHECK(!(tavrin::update::isNewerVersion(read.newest, read.mode) &&
                        tavrin::update::isNewerVersion(read.mode, read.newest)));
}

// A notice put together as the maker publishes one is read back as it was written.
void checkPublishedNotice(FuzzedDataProvider& data)
{
    const Text before = tavrin::fuzz::takeBytes(data, 64);
    const Text newest = tavrin::fuzz::takeBytes(data, 32);
    const Text downloadUrl = tavrin::fuzz::takeBytes(data, 64);
    const Text mode = tavrin::fuzz::takeBytes(data, 32);
    std::vector<Text> paragraphs(data.ConsumeIntegralInRange<std::size_t>(0, 3));
    for (Text& paragraph : paragraphs)
        paragraph = tavrin::fuzz::takeBytes(data, 48);
    std::array<int, 4> order = {0, 1, 2, 3};
    for (int shuffles = data.ConsumeIntegralInRange(0, 23); shuffles > 0; --shuffles)
        std::next_permutation(order.begin(), order.end());
    const Text after = tavrin::fuzz::takeBytes(data, 64);

    // The description "<p>更新说明=</p><p>first</p><p>second更新说明结束</p>" shows as
    // "firstsecond".
    Text description;
    Text expectedDescription;
    for (const Text& paragraph : paragraphs) {
        description += "</p><p>" + paragraph;
        expectedDescription += paragraph;
    }

    // Values that hold a marker, or cut one in half, are not read back; neither is a page in
    // front of the block that holds its start marker. The description also counts as a whole:
    // a paragraph that ends in "更新说明结束" ends it early, at the "</p>" that follows.
    const std::initializer_list<std::string_view> markers = {
        notice::kBlockStart,     notice::kBlockEnd,        notice::kNewestKey, notice::kDownloadUrlKey,
        notice::kModeKey,        notice::kDescriptionKey,  notice::kValueEnd,  notice::kDescriptionEnd,
        std::string_view("<p>"), std::string_view("\0", 1)};
    for (const Text* value : {&newest, &downloadUrl, &mode}) {
        if (holdsAny(*value, markers))
            return;
    }
    for (const Text& paragraph : paragraphs) {
        if (holdsAny(paragraph, markers))
            return;
    }
    if (holdsAny(description, {notice::kDescriptionEnd}) || endsInLoneLead(description) ||
        holdsAny(before, {notice::kBlockStart, std::string_view("\0", 1)}))
        return;

    const std::array<Text, 4> lines = {
        "<p>" + notice::kNewestKey + newest + "</p>",
        "<p>" + notice::kDownloadUrlKey + downloadUrl + "</p>",
        "<p>" + notice::kModeKey + mode + "</p>",
        "<p>" + notice::kDescriptionKey + description + notice::kDescriptionEnd,
    };
    Text page = before + notice::kBlockStart + "\r\n";
    for (const int line : order)
        page += lines[static_cast<std::size_t>(line)];
    page += "\r\n" + notice::kBlockEnd + after;

    const UpdateNotice read = tavrin::update::parseUpdateNotice(page);
    TAVRIN_FUZZ_CHECK(read.newest == newest);
    TAVRIN_FUZZ_CHECK(read.downloadUrl == downloadUrl);
    TAVRIN_FUZZ_CHECK(read.mode == mode);
    TAVRIN_FUZZ_CHECK(read.description == expectedDescription);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkFetchedPage(input);

    FuzzedDataProvider provider(data, size);
    const Text start = tavrin::fuzz::takeBytes(provider, 8);
    const Text end = tavrin::fuzz::takeBytes(provider, 8);
    checkTextBetween(provider.ConsumeRemainingBytesAsString(), start, end);

    FuzzedDataProvider again(data, size);
    checkPublishedNotice(again);
    return 0;
}
