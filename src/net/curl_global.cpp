#include "net/curl_global.h"

#include <curl/curl.h>

namespace tavrin::net {

bool curlGlobalReady()
{
    // A function-local static is initialised exactly once, even when threads race to it.
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

} // namespace tavrin::net
