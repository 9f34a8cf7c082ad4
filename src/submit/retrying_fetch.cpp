#include "submit/retrying_fetch.h"

#include "net/response_headers.h"
#include "net/shared_condition.h"
#include "submit/classify_response.h"

#include <condition_variable>
#include <ctime>
#include <mutex>
#include <random>

namespace tavrin::submit {

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds backoff(const RetryRules& rules, int attemptsSoFar)
{
    thread_local std::minstd_rand random{std::random_device{}()};
    std::uniform_real_distribution<double> jitter(0.5, 1.5);
    const double base =
        static_cast<double>(rules.backoffBase.count()) * static_cast<double>(1 << (attemptsSoFar - 1));
    return std::chrono::milliseconds(static_cast<long long>(base * jitter(random)));
}

// Sleeps for `wait` unless a stop comes first; false when it did.
bool sleepUnlessStopped(std::chrono::milliseconds wait, const std::stop_token& stop)
{
    std::mutex mutex;
    std::condition_variable_any& wakeUp = net::sharedCondition(&mutex);
    std::unique_lock lock(mutex);
    (void)wakeUp.wait_for(lock, stop, wait, [] { return false; });
    return !stop.stop_requested();
}

} // namespace

bool isTransient(const net::FetchOutcome& outcome)
{
    if (outcome.proxyTrouble != net::ProxyTrouble::None && outcome.proxyTrouble != net::ProxyTrouble::Closed)
        return false;
    switch (outcome.end) {
    case net::FetchEnd::Response: {
        const int status = statusCodeOf(outcome.headerText);
        return status == 429 || status == 502 || status == 503 || status == 504;
    }
    case net::FetchEnd::NoResponse:
        return outcome.closedBeforeResponse;
    case net::FetchEnd::Refused:
    case net::FetchEnd::TimedOut:
    case net::FetchEnd::Stopped:
        break;
    }
    return false;
}

RetriedFetch fetchWithRetries(const net::FetchRequest& request, net::Deadline deadline,
                              const std::stop_token& stop, const RetryRules& rules, const SendOnce& send)
{
    RetriedFetch fetched;
    for (;;) {
        fetched.outcome = send ? send(request, deadline, stop) : net::fetchUntil(request, deadline, stop);
        ++fetched.attempts;
        if (stop.stop_requested() || fetched.attempts > rules.maxRetries || !isTransient(fetched.outcome))
            return fetched;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        std::chrono::milliseconds wait{};
        if (const auto asked = net::retryAfter(fetched.outcome.headerText, std::time(nullptr))) {
            // The service says when it will answer; if that is past the row's time limit, asking
            // earlier would only be refused again.
            if (*asked > left)
                return fetched;
            wait = *asked;
        } else {
            wait = backoff(rules, fetched.attempts);
            if (wait >= left)
                return fetched;
        }
        if (!sleepUnlessStopped(wait, stop))
            return fetched;
    }
}

} // namespace tavrin::submit
