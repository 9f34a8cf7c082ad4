// The one-time global initialisation of libcurl.
#pragma once

namespace tavrin::net {

// Runs curl_global_init on the first call and tells whether it succeeded. Safe to call from
// any thread; the first call should still come from main() before other threads exist.
// libcurl is never de-initialised: the network thread may use it until the process ends.
[[nodiscard]] bool curlGlobalReady();

} // namespace tavrin::net
