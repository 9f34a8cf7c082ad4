#include "net/network_init.h"

#include "net/curl_global.h"
#include "net/network_thread.h"

namespace tavrin::net {

bool initNetwork()
{
    if (!curlGlobalReady())
        return false;
    // Creating the thread here, rather than on the first request, keeps thread creation out of
    // the workers' way and makes its start-up failure visible at start-up.
    (void)NetworkThread::instance();
    return true;
}

} // namespace tavrin::net
