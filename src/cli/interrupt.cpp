#include "cli/interrupt.h"

#include <atomic>

namespace tavrin::cli {

namespace {

// The one piece of state a signal handler may touch (interrupt_posix.cpp). A lock-free atomic
// rather than a volatile sig_atomic_t: the flag is also raised and read by ordinary threads (the
// command's poller, Windows' console-control thread, a test), and volatile gives those no
// ordering at all.
std::atomic<int> interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

} // namespace

void clearInterrupt()
{
    interrupted = 0;
}

bool interruptRequested()
{
    return interrupted != 0;
}

void requestInterrupt()
{
    interrupted = 1;
}

} // namespace tavrin::cli
