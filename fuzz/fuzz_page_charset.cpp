// Choosing a fetched page's character set and decoding it to UTF-8: the byte-order mark, the
// Content-Type parameter, the <meta> prescan, the UTF-8 guess and iconv over every encoding a
// page may name.
//
// Input: the Content-Type value up to the first LF, a charset label (as a page or a caller may
// name one) up to the second, and the rest is the body. Without an LF the input is all
// Content-Type and the body is empty.
#include "fuzz_check.h"

#include "text/charset.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

namespace text = tavrin::text;
using text::CharsetSource;

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool isAscii(std::string_view bytes)
{
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool startsWithByteOrderMark(std::string_view body)
{
    constexpr std::array<std::string_view, 3> kMarks = {kUtf8ByteOrderMark, "\xFE\xFF", "\xFF\xFE"};
    return std::any_of(kMarks.begin(), kMarks.end(),
                       [&](std::string_view mark) { return body.starts_with(mark); });
}

// What a decoded text must be whatever the bytes were: well-formed UTF-8 that decoding again
// leaves as it is, and no more than a few bytes for every byte read (a page of 8 MiB may not
// become gigabytes).
void checkDecoded(std::string_view body, std::string_view charset)
{
    const std::string decoded = text::decodeToUtf8(body, charset);
    TAVRIN_FUZZ_CHECK(tavrin::fuzz::isValidUtf8(decoded));
    TAVRIN_FUZZ_CHECK(decoded.size() <= 4 * body.size() + 4);
    TAVRIN_FUZZ_CHECK(text::decodeToUtf8(body, charset) == decoded);
    if (!decoded.starts_with(kUtf8ByteOrderMark))
        TAVRIN_FUZZ_CHECK(text::decodeToUtf8(decoded, "UTF-8") == decoded);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string_view contentType = tavrin::fuzz::takeLine(input);
    const std::string_view label = tavrin::fuzz::takeLine(input);
    const std::string_view body = input;

    // The parameter is read from the header value itself.
    const std::string_view parameter = text::contentTypeCharset(contentType);
    if (!parameter.empty())
        TAVRIN_FUZZ_CHECK(parameter.data() >= contentType.data() &&
                          parameter.data() + parameter.size() <= contentType.data() + contentType.size());

    // A name the program picks is one it decodes by: looking it up again gives it back.
    const text::PickedCharset picked = text::pickCharset(body, contentType);
    TAVRIN_FUZZ_CHECK(!picked.name.empty());
    TAVRIN_FUZZ_CHECK(text::charsetForLabel(picked.name) == picked.name);
    switch (picked.source) {
    case CharsetSource::ByteOrderMark:
        TAVRIN_FUZZ_CHECK(startsWithByteOrderMark(body));
        break;
    case CharsetSource::ContentType:
        TAVRIN_FUZZ_CHECK(!startsWithByteOrderMark(body));
        TAVRIN_FUZZ_CHECK(text::charsetForLabel(parameter) == picked.name);
        break;
    case CharsetSource::MetaTag:
        TAVRIN_FUZZ_CHECK(!startsWithByteOrderMark(body) && !text::charsetForLabel(parameter));
        break;
    case CharsetSource::ValidUtf8:
        TAVRIN_FUZZ_CHECK(picked.name == "UTF-8" && text::looksLikeUtf8(body));
        break;
    case CharsetSource::Fallback:
        TAVRIN_FUZZ_CHECK(picked.name == "GB18030" && !text::looksLikeUtf8(body));
        break;
    }
    if (body.starts_with(kUtf8ByteOrderMark))
        TAVRIN_FUZZ_CHECK(picked.source == CharsetSource::ByteOrderMark && picked.name == "UTF-8");
    // Well-formed UTF-8 is always taken for UTF-8, and decodes to itself.
    const bool wellFormed = tavrin::fuzz::isValidUtf8(body);
    if (wellFormed)
        TAVRIN_FUZZ_CHECK(text::looksLikeUtf8(body));
    if (wellFormed && picked.name == "UTF-8") {
        const std::string_view unmarked =
            body.starts_with(kUtf8ByteOrderMark) ? body.substr(kUtf8ByteOrderMark.size()) : body;
        TAVRIN_FUZZ_CHECK(text::decodeToUtf8(body, picked.name) == unmarked);
    }
    // ASCII reads the same in the encodings that hold it unchanged.
    if (isAscii(body) && (picked.name == "UTF-8" || picked.name == "GB18030" || picked.name == "CP1252"))
        TAVRIN_FUZZ_CHECK(text::decodeToUtf8(body, picked.name) == body);

    checkDecoded(body, picked.name);
    // Any label a caller passes, known or not, still gives UTF-8.
    checkDecoded(body, label);
    return 0;
}
