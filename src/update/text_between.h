// textBetween: cuts one value out of a text between two markers.
#pragma once

#include "text/gbk_text.h"

#include <string_view>

namespace tavrin::update {

// The bytes after the first `start` in `text` up to the first `end` after it; both searches are
// case-sensitive and step over double-byte characters. The rules, kept exactly because update
// notices already published are read with them:
// - The value is taken from 1-based position p + (length of `start`), p being the position of
//   `start`. When `start` is absent p is -1, so the value is taken from position
//   (length of `start` - 1), and is empty when that position is below 1.
// - The value ends just before the first `end` in what follows; it is empty when `end` is
//   absent there or stands right at its start.
[[nodiscard]] text::Text textBetween(std::string_view text, std::string_view start, std::string_view end);

} // namespace tavrin::update
