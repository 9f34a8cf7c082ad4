// Condition variables shared by everything that waits, taken from a fixed set by the address of
// what is waited on.
//
// A condition variable of MinGW's threads library sets itself up on its first wait, with two
// kernel semaphores, under a spin lock of the whole process, and takes that lock again when it
// is destroyed. One per transfer made fifty workers spin on that lock: a pass of 2,000 rows
// took seconds of processor time. The set is made once, so that cost is paid once.
//
// A condition variable (_any) may be shared by waiters on different mutexes and predicates: a
// notification meant for another wait wakes this one, which checks its predicate and waits on.
// The set is large enough that a notification wakes few waits besides its own.
#pragma once

#include <condition_variable>

namespace tavrin::net {

[[nodiscard]] std::condition_variable_any& sharedCondition(const void* waitedOn);

} // namespace tavrin::net
