#include "submit/proxied_fetch.h"

#include "net/url_parts.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tavrin::submit {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kShortestPatience{1000};
constexpr std::chrono::milliseconds kLongestPatience{3000};
// How much longer than a probe's own limit a row waits for another row's probe of the proxy.
constexpr std::chrono::milliseconds kProbeMargin{250};
// How long an HTTP proxy that answered for a request, and still answers its probes, is trusted to
// be carrying the requests that wait on it.
constexpr std::chrono::seconds kCarryingMemory{60};

// The service a request is for: its scheme, host and port.
text::Text serviceOf(std::string_view url)
{
    return text::Text(net::urlIsHttps(url) ? "https://" : "http://") + net::urlHost(url) + ":" +
           std::to_string(net::urlPort(url));
}

std::string seconds(std::chrono::milliseconds time)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(time.count()) / 1000.0);
    return text;
}

// A wait through a proxy that its patience ended: the proxy failed the request.
net::FetchOutcome failedWait(net::ProxyTrouble trouble, const net::FetchProgress& reached,
                             std::chrono::milliseconds patience, bool stopped = false)
{
    net::FetchOutcome failed;
    failed.end = stopped ? net::FetchEnd::Stopped : net::FetchEnd::NoResponse;
    failed.proxyTrouble = trouble;
    failed.reached = reached;
    const char* what = !reached.connected                       ? "no connection to the proxy within "
                       : trouble == net::ProxyTrouble::NoAnswer ? "no answer from the proxy within "
                                                                : "nothing came through the proxy within ";
    failed.failure = what + seconds(patience);
    return failed;
}

// Whether a proxy works, when a request through it has waited its patience without a sign.
enum class Liveness
{
    Alive,   // it answered a request lately, or answers for itself and can be trusted to carry
    Dead,    // it answers nothing, not even a probe
    Unknown, // it answers for itself, but nothing shows that it carries requests
};

bool isSocks(net::ProxyKind kind)
{
    return kind == net::ProxyKind::Socks4 || kind == net::ProxyKind::Socks5 ||
           kind == net::ProxyKind::Socks5Hostname;
}

// Asks the proxy something that depends on no service, within its patience. An HTTP proxy is
// asked for a page of its own ("GET / HTTP/1.1" to it, not through it): a working one answers at
// once, with an error page as often as not; any response counts. A SOCKS proxy is asked for a
// tunnel to its own address and port: any reply to that (a tunnel, or a refusal) counts.
// Nothing within the patience, a closed connection or garbage does not count.
bool probeAnswered(const ProxyPool& pool, std::size_t proxy, std::chrono::milliseconds patience,
                   const std::stop_token& stop)
{
    const net::ProxyAddress& address = pool.address(proxy);
    net::FetchRequest probe;
    const text::Text port = std::to_string(address.port);
    if (isSocks(address.kind)) {
        probe.url = "http://127.0.0.1:" + port + "/";
        probe.proxy = pool.given(proxy);
    } else {
        probe.url = (address.kind == net::ProxyKind::Https ? "https://" : "http://") + address.host + ":" +
                    port + "/";
    }
    const net::FetchOutcome answer = net::fetchUntil(std::move(probe), Clock::now() + patience, stop);
    if (!isSocks(address.kind))
        return answer.end == net::FetchEnd::Response;
    return answer.proxyAnswered || answer.reached.requestSent ||
           answer.proxyTrouble == net::ProxyTrouble::Refused ||
           answer.proxyTrouble == net::ProxyTrouble::AuthRequired;
}

Liveness judgeLiveness(ProxyPool& pool, std::size_t proxy, std::chrono::milliseconds patience,
                       const std::stop_token& stop)
{
    const auto now = Clock::now();
    if (pool.showsLife(proxy, now - patience))
        return Liveness::Alive;
    // One probe at a time per proxy, its answer good for a patience: the rows waiting on the
    // proxy meanwhile take it.
    std::optional<bool> answered = pool.waitForProbe(proxy, now - patience, now, stop);
    if (!answered && pool.claimProbe(proxy)) {
        answered = probeAnswered(pool, proxy, patience, stop);
        if (stop.stop_requested())
            answered.reset();
        pool.endProbe(proxy, answered);
    } else if (!answered) {
        answered = pool.waitForProbe(proxy, now, now + patience + kProbeMargin, stop);
    }
    if (pool.showsLife(proxy, now - patience))
        return Liveness::Alive;
    if (!answered)
        return Liveness::Unknown;
    if (!*answered)
        return Liveness::Dead;
    // It answers for itself. A SOCKS proxy that did has connected for us; an HTTP proxy may
    // answer its own pages and still carry nothing, and is trusted only once it carried an
    // answer lately.
    return isSocks(pool.address(proxy).kind) || pool.showsLife(proxy, now - kCarryingMemory)
               ? Liveness::Alive
               : Liveness::Unknown;
}

// One request through `proxy`, waited for as the header says: the outcome, or a failure of the
// proxy (TimedOut, NoAnswer, Silent) when its patience ran out. A proxy of which nothing can be
// said is waited on to the row's deadline when `othersLeft` is false: no other could do better.
// Notes every answer of the proxy at once, so that the rows waiting on it meanwhile know it lives.
net::FetchOutcome sendThroughProxy(const net::FetchRequest& request, std::size_t proxy, ProxyPool& pool,
                                   net::Deadline deadline, std::chrono::milliseconds patience,
                                   bool othersLeft, const std::stop_token& stop)
{
    const bool tunnel = pool.address(proxy).tunnels(request.url);
    const text::Text service = serviceOf(request.url);
    net::PendingFetch pending(request, deadline);
    bool proxyDidItsPart = false;
    for (;;) {
        const net::Deadline until = proxyDidItsPart ? deadline : std::min(Clock::now() + patience, deadline);
        std::optional<net::FetchOutcome> done = pending.waitUntil(until, stop);
        if (done && done->end != net::FetchEnd::TimedOut) {
            if (done->proxyAnswered)
                pool.noteAnswer(proxy, service);
            return std::move(*done);
        }
        const net::FetchProgress reached = done ? done->reached : pending.progress();
        if (!proxyDidItsPart && (reached.answerBegun || (tunnel && reached.requestSent))) {
            // The tunnel is open, or an answer has begun: what keeps the row waiting now is the
            // service.
            proxyDidItsPart = true;
            pool.noteAnswer(proxy, service);
        }
        if (!proxyDidItsPart) {
            if (!reached.connected)
                return failedWait(net::ProxyTrouble::TimedOut, reached, patience);
            switch (judgeLiveness(pool, proxy, patience, stop)) {
            case Liveness::Alive:
                break;
            case Liveness::Dead:
                return failedWait(net::ProxyTrouble::NoAnswer, reached, patience);
            case Liveness::Unknown:
                if (!done && !othersLeft && !stop.stop_requested())
                    break;
                return failedWait(stop.stop_requested() ? net::ProxyTrouble::None : net::ProxyTrouble::Silent,
                                  reached, patience, stop.stop_requested());
            }
        }
        if (done)
            return std::move(*done); // the row's limit passed through a proxy that works
    }
}

std::string_view describeTrouble(net::ProxyTrouble trouble)
{
    switch (trouble) {
    case net::ProxyTrouble::Unresolved:
        return "the proxy's host name was not found";
    case net::ProxyTrouble::Refused:
        return "the proxy refused the connection";
    case net::ProxyTrouble::TimedOut:
        return "no connection to the proxy in time";
    case net::ProxyTrouble::NoAnswer:
        return "the proxy answers nothing";
    case net::ProxyTrouble::NotAProxy:
    case net::ProxyTrouble::Garbled:
    case net::ProxyTrouble::Closed:
        return "the proxy's answer was not a proxy's";
    case net::ProxyTrouble::AuthRequired:
        return "the proxy asks for authentication (HTTP 407)";
    case net::ProxyTrouble::Silent:
        return "nothing came through the proxy in time";
    case net::ProxyTrouble::None:
        break;
    }
    return "no proxy could reach the service";
}

} // namespace

std::chrono::milliseconds proxyPatience(std::chrono::milliseconds rowLimit)
{
    return std::clamp(rowLimit / 3, kShortestPatience, kLongestPatience);
}

ProxiedFetch fetchThroughProxies(net::FetchRequest& request, ProxyPool& pool,
                                 std::optional<std::size_t> first, net::Deadline deadline,
                                 std::chrono::milliseconds patience, const std::stop_token& stop,
                                 const RetryRules& retry)
{
    ProxiedFetch result;
    const text::Text service = serviceOf(request.url);
    std::vector<std::size_t> tried;
    int attempts = 0;
    for (std::optional<std::size_t> proxy = first;; proxy = pool.next(tried)) {
        if (!proxy) {
            result.notChecked = tried.empty() ? NotChecked::NoProxyLeft : NotChecked::ProxyFailed;
            break;
        }
        tried.push_back(*proxy);
        result.lastProxy = proxy;
        request.proxy = pool.given(*proxy);
        if (!pool.address(*proxy).carries(request.url)) {
            result.fetched = fetchWithRetries(request, deadline, stop, retry);
            attempts += result.fetched.attempts;
            break;
        }
        const bool othersLeft = pool.anyLeft(tried);
        result.fetched = fetchWithRetries(
            request, deadline, stop, retry,
            [&pool, proxy = *proxy, patience, othersLeft](
                const net::FetchRequest& attempt, net::Deadline until, const std::stop_token& stopAttempt) {
                return sendThroughProxy(attempt, proxy, pool, until, patience, othersLeft, stopAttempt);
            });
        attempts += result.fetched.attempts;
        ++result.proxiesTried;
        net::FetchOutcome& outcome = result.fetched.outcome;
        if (stop.stop_requested() || outcome.end == net::FetchEnd::Stopped)
            break;
        // A forwarding proxy that hung up or garbled may have passed on what the service did: a
        // proxy that works did; one that does not answer for itself either is the culprit; of one
        // that answers for itself but has carried nothing lately, nothing can be said yet.
        if (outcome.proxyTrouble == net::ProxyTrouble::Closed ||
            outcome.proxyTrouble == net::ProxyTrouble::Garbled) {
            switch (judgeLiveness(pool, *proxy, patience, stop)) {
            case Liveness::Alive:
                outcome.proxyTrouble = net::ProxyTrouble::None;
                break;
            case Liveness::Dead:
                outcome.proxyTrouble = net::ProxyTrouble::NotAProxy;
                break;
            case Liveness::Unknown:
                outcome.proxyTrouble = net::ProxyTrouble::Silent;
                break;
            }
        }
        if (outcome.proxyTrouble == net::ProxyTrouble::None)
            break;
        pool.noteFailure(*proxy, outcome.proxyTrouble, service);
        if (Clock::now() >= deadline) {
            result.notChecked = NotChecked::ProxyFailed;
            break;
        }
    }
    result.fetched.attempts = attempts;
    return result;
}

std::string notCheckedReason(const ProxiedFetch& fetched)
{
    switch (fetched.notChecked) {
    case NotChecked::No:
        return {};
    case NotChecked::NoProxyLeft:
        return "not checked: every proxy has been set aside";
    case NotChecked::ProxyFailed:
        break;
    }
    const std::string_view why = fetched.proxiesTried > 1
                                     ? describeTrouble(net::ProxyTrouble::None)
                                     : describeTrouble(fetched.fetched.outcome.proxyTrouble);
    return "not checked: " + std::string(why);
}

} // namespace tavrin::submit
