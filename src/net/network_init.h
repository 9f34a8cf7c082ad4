// Start-up of the HTTP layer.
#pragma once

namespace tavrin::net {

// Initialises libcurl and starts the network thread. Call it once from main() before any other
// thread starts: curl_global_init must not run while other threads use libcurl. Later calls
// do nothing. Returns false when libcurl could not be initialised; every request then fails
// as "no response".
bool initNetwork();

} // namespace tavrin::net
