// A row's request through the proxies of a run: the proxy's part judged apart from the
// service's, and the row tried through another proxy when its proxy failed it.
//
// Every attempt through a proxy has a patience of its own (proxyPatience), far shorter than the
// row's limit, for connecting and for the first sign of an answer:
//  - no connection to the proxy by then: the proxy failed the row (TimedOut);
//  - a tunnel open (SOCKS, CONNECT) or bytes of a response: the proxy did its part, and the row
//    waits for the service to its own deadline (× when nothing comes);
//  - otherwise (a forwarding proxy that took the request and says nothing, a tunnel not yet
//    open) one request cannot tell a hanging proxy from a slow service. The proxy counts as
//    alive when it answered a request within the last patience; else it is probed (one probe
//    at a time per proxy, its answer shared): an HTTP proxy is asked for a page of its own, a
//    SOCKS proxy for a tunnel to itself. A proxy that leaves the probe unanswered failed the row
//    (NoAnswer). A SOCKS proxy that answers it is alive; an HTTP proxy that answers it is alive
//    only if it carried an answer within the last minute, since a proxy may well answer its own
//    pages and carry nothing. Alive, the row keeps waiting and looks again every patience;
//    otherwise the proxy failed the row (Silent), unless no other proxy is left to try, and the
//    row waits on it to its deadline.
// A forwarding proxy that closes the connection or answers garbage is judged the same way once
// the row's retries are used up: the service's doing when the proxy is alive, the proxy's when
// it answers nothing (NotAProxy), silence otherwise.
//
// A row that the proxies failed goes on through the next proxy not yet tried, while its time
// lasts. A row that every proxy it tried failed, or for which no proxy was left, was not checked:
// it is marked neither √ nor × (library/mark.h), and nothing is learned about its template.
#pragma once

#include "net/timed_fetch.h"
#include "submit/proxy_pool.h"
#include "submit/retrying_fetch.h"

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>

namespace tavrin::submit {

// Why a row was not checked.
enum class NotChecked
{
    No,          // it was: the outcome is the service's
    ProxyFailed, // the proxies it went through failed it (troubleOfLast says how the last did)
    NoProxyLeft, // every proxy had been set aside
};

struct ProxiedFetch
{
    // The last attempt and the requests made for the row.
    RetriedFetch fetched;
    NotChecked notChecked = NotChecked::No;
    // How many proxies the row went through.
    int proxiesTried = 0;
    // The last proxy tried: the one that carried the row when it was checked.
    std::optional<std::size_t> lastProxy;
};

// The patience of a proxy for a row with this time limit: a third of it, from 1 to 3 seconds.
[[nodiscard]] std::chrono::milliseconds proxyPatience(std::chrono::milliseconds rowLimit);

// Fetches `request` through the proxies of `pool`, starting with `first` (nothing: the pool is
// used up) and going on through the next ones while each fails it and time is left; each
// attempt retried as fetchWithRetries does. `request.proxy` is left naming the proxy that carried
// the row. A bare HTTP proxy does not carry https: such a request goes direct, as it always did.
[[nodiscard]] ProxiedFetch fetchThroughProxies(net::FetchRequest& request, ProxyPool& pool,
                                               std::optional<std::size_t> first, net::Deadline deadline,
                                               std::chrono::milliseconds patience,
                                               const std::stop_token& stop, const RetryRules& retry);

// Why a row was not checked, for people reading a report ("not checked: the proxy refused the
// connection").
[[nodiscard]] std::string notCheckedReason(const ProxiedFetch& fetched);

} // namespace tavrin::submit
