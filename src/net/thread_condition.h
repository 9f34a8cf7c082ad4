// One condition variable per thread, shared by everything the thread waits for in turn.
//
// A condition variable of MinGW's threads library sets itself up on its first wait, with two
// kernel semaphores, under a spin lock of the whole process, and takes that lock again when it
// is destroyed. One per transfer made fifty workers spin on that lock: a pass of 2,000 rows
// took seconds of processor time. Made once per thread, the cost is paid once.
//
// A condition variable (_any) may be shared by waiters on different mutexes and predicates:
// a notification meant for another wait wakes this one, which checks its predicate and waits
// on. The shared pointer keeps it alive for a notifier that outlives the waiting thread.
#pragma once

#include <condition_variable>
#include <memory>

namespace tavrin::net {

[[nodiscard]] std::shared_ptr<std::condition_variable_any> conditionOfThisThread();

} // namespace tavrin::net
