#include "cli/interrupt.h"

#include <csignal>

namespace tavrin::cli {

namespace {

// The one piece of state a signal handler may touch.
volatile std::sig_atomic_t interrupted = 0;

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
