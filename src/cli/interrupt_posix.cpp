#include "cli/interrupt.h"

#include <csignal>

namespace tavrin::cli {

namespace {

extern "C" void onInterruptSignal(int /*signal*/)
{
    requestInterrupt();
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

} // namespace tavrin::cli
