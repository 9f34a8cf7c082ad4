#include "cli/interrupt.h"

#include <atomic>
#include <csignal>

namespace tavrin::cli {

namespace {

// The one piece of state a signal handler may touch. A lock-free atomic rather than a volatile
// sig_atomic_t: the flag is also raised and read by ordinary threads (the command's poller, a
// test), and volatile gives those no ordering at all.
std::atomic<int> interrupted{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onInterruptSignal(int /*signal*/)
{
    interrupted = 1;
}

} // namespace

void installInterruptHandler()
{
    struct sigaction action
    {
    };
    action.sa_handler = onInterruptSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

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
