#include "submit/http_row_check.h"

#include "net/request_headers.h"
#include "net/response_headers.h"
#include "submit/control_page.h"
#include "submit/page_evidence.h"
#include "submit/proxied_fetch.h"
#include "text/messages.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tavrin::submit {

namespace {

using Clock = std::chrono::steady_clock;

std::string reasonFor(const ResponseVerdict& verdict, const net::FetchOutcome& fetched, int limitSeconds)
{
    std::string reason = describeVerdict(verdict);
    if (fetched.end == net::FetchEnd::TimedOut)
        reason += " within " + std::to_string(limitSeconds) + " s";
    else if (verdict.decidedBy == ResponseTest::NoResponse && !fetched.failure.empty())
        reason += ": " + fetched.failure;
    return reason;
}

RowEvidence evidenceOf(const RetriedFetch& fetched, const text::Text& siteHost)
{
    RowEvidence evidence;
    evidence.attempts = fetched.attempts;
    evidence.finalUrl = fetched.outcome.finalUrl;
    if (fetched.outcome.end != net::FetchEnd::Response)
        return evidence;
    evidence.bytes = static_cast<long long>(fetched.outcome.body.size());
    const std::string_view contentType =
        net::headerValue(fetched.outcome.headerText, "Content-Type").value_or("");
    PageEvidence page = readPageEvidence(fetched.outcome.body, contentType, evidence.finalUrl, siteHost);
    evidence.titleUtf8 = std::move(page.titleUtf8);
    evidence.mentionsSite = page.mentionsSite;
    evidence.linksToSite = page.linksToSite;
    return evidence;
}

// Applies the stricter rules, in their order, to a verdict that passed the response rules.
ResponseVerdict applyStricterRules(ResponseVerdict verdict, const CheckOptions& options,
                                   const RowEvidence& evidence)
{
    if (!verdict.success)
        return verdict;
    const auto fail = [&verdict](ResponseTest test) { return ResponseVerdict{false, test, verdict.status}; };
    if (options.requireMention && !evidence.mentionsSite)
        return fail(ResponseTest::NotMentioned);
    if (options.requireLink && !evidence.linksToSite)
        return fail(ResponseTest::NoLink);
    return verdict;
}

// What a row that no proxy could check gets: neither √ nor ×, and nothing said of its page.
RowResult notCheckedResult(const ProxiedFetch& fetched, int limitSeconds)
{
    RowResult result;
    result.mark = library::Mark::NotChecked;
    result.decidedBy = ResponseTest::NoResponse;
    result.reason = notCheckedReason(fetched);
    result.timeLimitSeconds = limitSeconds;
    result.evidence.attempts = fetched.fetched.attempts;
    return result;
}

// The way a row's requests go to the service, the same for its own page and the baseline rule's
// control page: through the run's proxies when it has any (with their patience and checks, the
// next proxy when one fails), direct otherwise; retried by the same rules under the row's
// deadline either way.
struct RowRoad
{
    std::shared_ptr<ProxyPool> proxies;
    net::Deadline deadline;
    std::chrono::milliseconds patience{};
    RetryRules retry;

    // Fetches `request`, through the proxies starting with `first`; `request.proxy` is left
    // naming the proxy that carried it.
    [[nodiscard]] ProxiedFetch fetch(net::FetchRequest& request, std::optional<std::size_t> first,
                                     const std::stop_token& stop) const
    {
        if (proxies)
            return fetchThroughProxies(request, *proxies, first, deadline, patience, stop, retry);
        ProxiedFetch direct;
        direct.fetched = fetchWithRetries(request, deadline, stop, retry);
        return direct;
    }
};

long long millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

} // namespace

RowResult checkRow(const RowRequest& row, const CheckOptions& options, const std::stop_token& stop,
                   net::FetchOutcome* lastAttempt)
{
    const auto start = Clock::now();
    const int limitSeconds =
        options.timeLimitSeconds > 0 ? options.timeLimitSeconds : net::kDefaultTimeLimitSeconds;
    RowRoad road{options.proxies, start + std::chrono::seconds(limitSeconds),
                 proxyPatience(std::chrono::seconds(limitSeconds)), options.retry};
    net::FetchRequest request = options.requestFields;
    request.url = row.url;
    // Through proxies, the row's first request goes through the next one in turn. One proxy
    // given without a pool is a pool of one for this row alone.
    if (!road.proxies && net::countsAsPresent(options.proxy))
        road.proxies = std::make_shared<ProxyPool>(std::vector<text::Text>{options.proxy});
    std::optional<std::size_t> firstProxy;
    if (road.proxies)
        firstProxy = road.proxies->next();

    // The control page is asked for at the same time as the row's own, by the same road and
    // starting with the same proxy; with one request at a time to a service, only after the
    // row's own page passed, through the proxy that carried it. A template without the
    // placeholder asks about no site, and needs no control page to be the same for any.
    const bool baseline = options.baseline && !row.siteHost.empty();
    const text::Text controlHost = baseline ? randomControlHost() : text::Text();
    net::FetchRequest controlRequest = request;
    controlRequest.url = baseline ? controlUrlFor(row, controlHost) : text::Text();
    const bool controlAsked = baseline && controlRequest.url != row.url;
    std::optional<ConcurrentControlFetch> concurrentControl;
    if (controlAsked && !options.oneRequestAtATime && (!road.proxies || firstProxy)) {
        concurrentControl.emplace(
            [&road, controlRequest, firstProxy](const std::stop_token& controlStop) mutable {
                return road.fetch(controlRequest, firstProxy, controlStop);
            },
            stop);
    }

    ProxiedFetch proxied = road.fetch(request, firstProxy, stop);
    if (proxied.notChecked != NotChecked::No) {
        RowResult notChecked = notCheckedResult(proxied, limitSeconds);
        notChecked.milliseconds = millisecondsSince(start);
        if (lastAttempt)
            *lastAttempt = std::move(proxied.fetched.outcome);
        return notChecked;
    }
    RetriedFetch& fetched = proxied.fetched;
    RowResult outcome;
    outcome.timeLimitSeconds = limitSeconds;
    outcome.timedOut = fetched.outcome.end == net::FetchEnd::TimedOut;
    outcome.evidence = evidenceOf(fetched, row.siteHost);
    // The body counts as text up to its first NUL byte.
    ResponseVerdict verdict = classifyResponse(fetched.outcome.headerText,
                                               text::untilNul(fetched.outcome.body), row.emptyBodyFails);
    verdict = applyStricterRules(verdict, options, outcome.evidence);
    if (verdict.success && baseline) {
        BaselineCheck& check = outcome.evidence.baseline;
        if (!controlAsked) {
            check = BaselineCheck::Same;
        } else {
            const ProxiedFetch control = concurrentControl
                                             ? concurrentControl->wait()
                                             : road.fetch(controlRequest, proxied.lastProxy, stop);
            check = compareWithControl(fetched.outcome.body, row.siteHost, control, controlHost);
        }
        if (check == BaselineCheck::Same)
            verdict = ResponseVerdict{false, ResponseTest::SamePage, verdict.status};
    }
    outcome.mark = verdictMark(verdict);
    outcome.decidedBy = verdict.decidedBy;
    outcome.httpStatus = verdict.status;
    outcome.reason = reasonFor(verdict, fetched.outcome, limitSeconds);
    outcome.milliseconds = millisecondsSince(start);
    if (lastAttempt)
        *lastAttempt = std::move(fetched.outcome);
    return outcome;
}

RowCheck httpRowCheck(CheckOptions options)
{
    return [options = std::move(options)](const RowRequest& row, const std::stop_token& stop) {
        return checkRow(row, options, stop);
    };
}

} // namespace tavrin::submit
