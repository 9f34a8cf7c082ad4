// The system's part of reading pages (charset.cpp holds what is the same everywhere): which
// encodings beyond the program's own table of labels it knows, and the conversion itself. The
// Linux build converts with glibc's iconv (charset_decoder_posix.cpp), the Windows build with
// the system's code pages (charset_decoder_win.cpp); both give a broken character the same
// treatment, so a page reads the same on either.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavrin::text {

// True when `lowerLabel` (lower case, a plausible label) names an encoding the system decodes
// and in which ASCII text reads unchanged: pages declare their charset in ASCII, so an encoding
// that reads ASCII differently (UTF-16 without a byte-order mark, UTF-32, EBCDIC) cannot be
// what such a page is written in.
[[nodiscard]] bool systemDecodes(const std::string& lowerLabel);

// `bytes` decoded from the encoding `name` (as charsetForLabel gives it, not UTF-8) to UTF-8:
// one U+FFFD for every code unit that does not decode (two bytes in UTF-16, one elsewhere), after
// which decoding goes on with the next unit. Nothing when the system cannot decode `name`.
[[nodiscard]] std::optional<std::string> decodeWithSystem(std::string_view bytes, const std::string& name);

} // namespace tavrin::text
