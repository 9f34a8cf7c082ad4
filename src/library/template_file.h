// The template file format: GBK text, lines separated by CR LF exactly.
#pragma once

#include "text/gbk_text.h"

#include <vector>

namespace tavrin::library {

using text::Text;

// The entries of a file's bytes: the text ends at the first NUL byte; it is split at every
// CR LF; empty lines in the middle are entries, a final CR LF adds none, and a lone LF or CR
// separates nothing.
[[nodiscard]] std::vector<Text> templateLines(std::string_view fileBytes);

} // namespace tavrin::library
