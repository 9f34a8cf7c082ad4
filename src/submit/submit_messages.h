// What a pass is doing, in the program's own words for the status line (GBK). The window shows
// it; the command line prints it.
#pragma once

#include "text/gbk_text.h"

namespace tavrin::submit {

// "当前提交第N个网址：URL": the row taken `number`-th in the pass.
[[nodiscard]] text::Text submittingMessage(int number, const text::Text& url);
// "第N轮完成": the `round`-th pass of a loop has completed.
[[nodiscard]] text::Text roundCompletedMessage(int round);

} // namespace tavrin::submit
