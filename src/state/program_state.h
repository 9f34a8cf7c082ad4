// The program-wide state that the window's handlers, the loaders and the submission workers
// share. One instance lives as long as the main window. Counters that several threads update
// are atomic; the rest is touched by the user-interface thread only.
#pragma once

#include "text/gbk_text.h"

#include <atomic>

namespace tavrin {

struct ProgramState
{
    // 1 once a pass has completed or was stopped; the loop timer restarts only then.
    std::atomic<int> passEnded{0};
    // Rows taken into work in the current pass.
    std::atomic<int> startedCount{0};
    // Last 编号 handed out; the next row gets rowCounter + 1.
    std::atomic<int> rowCounter{0};
    // Rows added by load, import and add since start or the last 全部删除 (single deletions do
    // not lower it).
    std::atomic<int> urlTotal{0};
    // User-interface thread only.
    text::Text currentVersion;
};

} // namespace tavrin
