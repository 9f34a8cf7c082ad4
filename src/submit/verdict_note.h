// The note shown over a checked row's mark: the deciding test and the evidence, in the
// program's own words.
#pragma once

#include "submit/row_check.h"

namespace tavrin::submit {

// For example "×：HTTP 503（重试2次）" or "√：页面提到了网址，有链接", followed by a line saying
// that the control page could not be read when the baseline rule could not be applied, and lines
// for the status, title, final address, size and time that the check saw (GBK, lines ending in
// CR LF between them).
[[nodiscard]] text::Text verdictNote(const RowResult& outcome);

} // namespace tavrin::submit
