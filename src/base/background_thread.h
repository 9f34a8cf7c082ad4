// For a thread that works behind the rest of the program (the history's writer): a lower
// priority, and a name that a look at the program's threads tells apart.
#pragma once

namespace tavrin::base {

// Lowers the calling thread's priority: behind the workers and the network when the processor is
// busy, yet not idle-only, so that on a machine busy with other work it still gets its share.
// Names the thread `name` (at most 15 characters) where the system keeps thread names. Best
// effort: a system that refuses either leaves the thread as it was.
void makeThisThreadBackground(const char* name) noexcept;

} // namespace tavrin::base
