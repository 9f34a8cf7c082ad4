// Decoding text in whatever character set a web page comes in, to UTF-8.
//
// Pages fetched from the services arrive in any encoding: UTF-8, GBK and GB2312 above all,
// Big5, Shift_JIS and the single-byte code pages now and then. The program keeps its own texts
// in GBK (see gbk_text.h); this is for reading other people's pages, whose text may hold
// characters GBK cannot express, so it goes to UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavrin::text {

// Where the choice of a page's character set came from, strongest first.
enum class CharsetSource
{
    ByteOrderMark, // the body starts with a UTF-8 or UTF-16 byte-order mark
    ContentType,   // the charset parameter of the Content-Type header
    MetaTag,       // <meta charset> or <meta http-equiv="Content-Type"> near the start
    ValidUtf8,     // nothing declared, and the bytes read as UTF-8
    Fallback,      // nothing declared, and the bytes are not UTF-8: GBK
};

struct PickedCharset
{
    // The converter's name as the GNU C library knows it ("UTF-8", "GB18030", "CP932", ...); the
    // Windows build knows the encodings it decodes by the same names.
    std::string name;
    CharsetSource source = CharsetSource::Fallback;
};

// The converter name of an encoding label as pages and servers write it ("gb2312", "x-sjis",
// "UTF8", "latin1"); nullopt when the label names no encoding this system can decode from
// ASCII-compatible bytes, which callers treat as no declaration at all.
[[nodiscard]] std::optional<std::string> charsetForLabel(std::string_view label);

// The charset parameter of a Content-Type header value (`text/html; charset="GBK"` gives
// "GBK"); empty when there is none.
[[nodiscard]] std::string_view contentTypeCharset(std::string_view contentType);

// Chooses the character set of a page body: a byte-order mark first (it cannot be there by
// accident, and browsers let it override the header), then the Content-Type header, then a
// <meta> declaration in the first 1024 bytes, and without any of these UTF-8 when the bytes
// are UTF-8, else GBK. A declared name that is not known counts as not declared.
[[nodiscard]] PickedCharset pickCharset(std::string_view body, std::string_view contentType);

// Decodes `bytes` from the encoding named `charset` (a label or a converter name) to UTF-8. A
// byte-order mark of that encoding at the start is dropped. Bytes that do not decode become
// U+FFFD, so the result is always valid UTF-8 and no input is an error. An unknown name is
// treated as no name: UTF-8 when the bytes are UTF-8, else GBK.
[[nodiscard]] std::string decodeToUtf8(std::string_view bytes, std::string_view charset);

// True when `bytes` read as UTF-8 apart from a few stray bytes: well-formed sequences of two
// or more bytes outnumber ill-formed bytes many times over. A character cut off at the very end
// (a body truncated in transit) is not held against it.
[[nodiscard]] bool looksLikeUtf8(std::string_view bytes) noexcept;

} // namespace tavrin::text
