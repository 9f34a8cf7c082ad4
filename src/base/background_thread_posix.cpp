#include "base/background_thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace tavrin::base {

namespace {

// How much lower than the rest of the program the thread runs (a nice value). On Linux a nice
// value is the thread's own when set for its thread id.
constexpr int kBackgroundNiceness = 10;

} // namespace

void makeThisThreadBackground(const char* name) noexcept
{
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kBackgroundNiceness);
    ::pthread_setname_np(::pthread_self(), name);
}

} // namespace tavrin::base
