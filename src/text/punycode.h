// Punycode (RFC 3492), the ASCII form of a Unicode host name label: "例子" travels as
// "xn--fsqu00a". Host names go on the wire, into templates and into the history in that form,
// so every site has one spelling however it was typed; the Unicode form is only for finding the
// name in page text.
//
// No Unicode normalisation (NFC) is applied: a label is encoded from the code points it has.
// Names typed on a Chinese keyboard are composed already, and normalising would need Unicode's
// tables for nothing that users here type.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavrin::text {

// What marks a label as Punycode.
inline constexpr std::string_view kAcePrefix = "xn--";

// The Punycode of a sequence of code points: the ASCII ones in their order, a '-' after them
// when there are any, then the others as lower-case base-36 digits. Nothing for a code point
// past U+10FFFF or a surrogate, and when a count would overflow (only absurdly long input).
[[nodiscard]] std::optional<std::string> punycodeEncode(std::u32string_view codePoints);

// The reverse: the code points Punycode stands for, its letters read in either case. Nothing
// when `encoded` is not Punycode: a byte that is not ASCII, a digit where none may be, a
// sequence cut short, a count that overflows, or a result that is a surrogate or past U+10FFFF.
[[nodiscard]] std::optional<std::u32string> punycodeDecode(std::string_view encoded);

// One label of a host name in its ASCII form: an ASCII label as it is, any other (UTF-8) as
// "xn--" and its Punycode. Nothing when the label is not well-formed UTF-8.
[[nodiscard]] std::optional<std::string> asciiLabel(std::string_view utf8Label);

// One label in its Unicode form (UTF-8): a label starting with "xn--" (any case) decoded, any
// other as it is. Nothing for an "xn--" label that is not Punycode.
[[nodiscard]] std::optional<std::string> unicodeLabel(std::string_view label);

} // namespace tavrin::text
