// Windows' code pages as decoding tables (code_page_table.h), built once per process from what
// the system's own conversion functions give for every byte and pair of bytes.
#pragma once

#include "text/code_page_table.h"

namespace tavrin::text {

// Code page 936 as GB18030 rather than GBK: the system's GBK table with GB18030's own readings
// of some pairs and its four-byte sequences. (Windows has a GB18030 code page, 54936, but not
// every system that runs Windows programs does, and its four-byte reading depends on the
// system's version.)
inline constexpr unsigned kGb18030CodePage = 54936;

// The table of `codePage` (936 for the program's own GBK texts, kGb18030CodePage, 932, 949,
// 950, the single-byte pages), read so that it agrees with the GNU C library's converters of the
// same name wherever the two only differ in what they do with bytes no text uses: an unassigned
// byte that Windows passes through as the control character of the same number is no character,
// and in the pages whose user-defined area the GNU tables leave out, the private-use characters
// Windows maps it to are none either. Null when the system does not have the code page.
// Thread-safe; the table lives as long as the process.
[[nodiscard]] const CodePageTable* windowsCodePage(unsigned codePage);

} // namespace tavrin::text
