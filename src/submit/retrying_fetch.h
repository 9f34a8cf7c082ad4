// A fetch that asks again when the answer means "not now": a busy or overloaded service (429,
// 502, 503, 504) or a connection dropped before any response. Every attempt shares the row's
// deadline, so retrying never makes a row take longer than its time limit.
#pragma once

#include "net/timed_fetch.h"

#include <chrono>
#include <functional>
#include <stop_token>

namespace tavrin::submit {

struct RetryRules
{
    // Attempts after the first.
    int maxRetries = 2;
    // Without a Retry-After, the n-th retry waits about backoffBase x 2^(n-1), with a random
    // factor between 0.5 and 1.5 so that the many rows of one service do not come back at once.
    std::chrono::milliseconds backoffBase{250};
};

struct RetriedFetch
{
    // The last attempt's outcome: it decides the verdict.
    net::FetchOutcome outcome;
    int attempts = 0;
};

// True for outcomes worth another attempt. A proxy's own failure is not: the attempt goes to
// another proxy instead (proxied_fetch.h); a connection that a forwarding proxy closed may be
// the service's doing, and is.
[[nodiscard]] bool isTransient(const net::FetchOutcome& outcome);

// One attempt: the request sent and waited for until the deadline or the stop. fetchUntil when
// none is given.
using SendOnce = std::function<net::FetchOutcome(const net::FetchRequest& request, net::Deadline deadline,
                                                 const std::stop_token& stop)>;

// Fetches `request` until an answer that is not transient, the retries are used up, the deadline
// passes or `stop` is requested. Waits what a Retry-After asks when it fits the time left; one
// that asks for more ends the row at once with the answer it has. Never retries after a stop.
[[nodiscard]] RetriedFetch fetchWithRetries(const net::FetchRequest& request, net::Deadline deadline,
                                            const std::stop_token& stop, const RetryRules& rules = {},
                                            const SendOnce& send = {});

} // namespace tavrin::submit
