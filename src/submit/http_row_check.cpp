#include "submit/http_row_check.h"

#include "library/site_host.h"
#include "net/proxy_address.h"
#include "net/response_headers.h"
#include "submit/page_evidence.h"
#include "text/messages.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <thread>

namespace tavrin::submit {

namespace {

using Clock = std::chrono::steady_clock;

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// `page` with every occurrence of `host` (ASCII letters without case) replaced by a token that
// no page contains. A plain byte search: the pages may be in any charset.
std::string withHostReplaced(std::string_view page, std::string_view host)
{
    static constexpr std::string_view kToken = "\x01host\x01";
    if (host.empty())
        return std::string(page);
    std::string replaced;
    replaced.reserve(page.size());
    const auto sameLetter = [](char a, char b) { return lowerAscii(a) == lowerAscii(b); };
    auto from = page.begin();
    for (;;) {
        const auto hit = std::search(from, page.end(), host.begin(), host.end(), sameLetter);
        replaced.append(from, hit);
        if (hit == page.end())
            return replaced;
        replaced += kToken;
        from = hit + static_cast<std::ptrdiff_t>(host.size());
    }
}

// The URL the baseline rule asks for: the row's template expanded with `controlHost`; a row
// without a template stands for its URL with the site host turned back into the placeholder.
text::Text controlUrlFor(const RowRequest& row, std::string_view controlHost)
{
    const text::Text templateText =
        row.templateText ? *row.templateText : library::collapseHost(row.url, row.siteHost);
    return library::expandTemplate(templateText, controlHost);
}

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

} // namespace

text::Text randomControlHost()
{
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<int> letter('a', 'z');
    text::Text host;
    for (int i = 0; i < 12; ++i)
        host += static_cast<char>(letter(random));
    return host + ".com";
}

bool samePageForAnyHost(std::string_view page, std::string_view host, std::string_view otherPage,
                        std::string_view otherHost)
{
    return withHostReplaced(page, host) == withHostReplaced(otherPage, otherHost);
}

namespace {

// The row through `first` and, while no response comes and time is left, through the next
// proxies of the pool, each told what became of its request.
RetriedFetch fetchThroughProxies(net::FetchRequest& request, std::optional<text::Text> proxy, ProxyPool& pool,
                                 net::Deadline deadline, const std::stop_token& stop, const RetryRules& retry)
{
    RetriedFetch fetched;
    int attempts = 0;
    for (;;) {
        if (!proxy) {
            // Every proxy has been set aside. Going direct would show the user's own address,
            // which the list is there to keep out of sight, and a × would blame the template:
            // the row waits for the pass to be stopped, which the front end does on seeing the
            // list used up, and gets no mark.
            while (!stop.stop_requested())
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            fetched.outcome.end = net::FetchEnd::Stopped;
            break;
        }
        request.proxy = *proxy;
        const std::optional<net::ProxyAddress> address = net::parseProxyAddress(*proxy);
        fetched = fetchWithRetries(request, deadline, stop, retry);
        attempts += fetched.attempts;
        // A proxy that does not carry the address (https past an HTTP proxy) was not asked.
        if (!address || !address->carries(request.url))
            break;
        // A proxy that answered that the service cannot be reached works: the row fails on its
        // own account, and another proxy would find the same.
        const bool responded =
            fetched.outcome.end == net::FetchEnd::Response || fetched.outcome.proxyAnswered;
        if (fetched.outcome.end != net::FetchEnd::Stopped)
            pool.report(*proxy, responded);
        if (responded || stop.stop_requested() || Clock::now() >= deadline)
            break;
        proxy = pool.next();
    }
    fetched.attempts = std::max(attempts, fetched.attempts);
    return fetched;
}

} // namespace

RowResult checkRow(const RowRequest& row, const CheckOptions& options, const std::stop_token& stop,
                   net::FetchOutcome* lastAttempt)
{
    const auto start = Clock::now();
    const int limitSeconds =
        options.timeLimitSeconds > 0 ? options.timeLimitSeconds : net::kDefaultTimeLimitSeconds;
    const net::Deadline deadline = start + std::chrono::seconds(limitSeconds);
    net::FetchRequest request = options.requestFields;
    request.url = row.url;
    request.proxy = options.proxy;
    // With a list of proxies, the row's first request goes through the next one in turn.
    std::optional<text::Text> proxy;
    if (options.proxies) {
        proxy = options.proxies->next();
        request.proxy = proxy.value_or(text::Text());
    }

    // The control page is asked for at the same time as the row's own, under the same deadline;
    // with one request at a time to a service, only after the row's own page passed.
    const bool baseline = options.baseline && !row.siteHost.empty();
    const text::Text controlHost = baseline ? randomControlHost() : text::Text();
    const text::Text controlUrl = baseline ? controlUrlFor(row, controlHost) : text::Text();
    net::FetchRequest controlRequest = request;
    controlRequest.url = controlUrl;
    std::optional<net::PendingFetch> control;
    if (baseline && controlUrl != row.url && !options.oneRequestAtATime)
        control.emplace(controlRequest, deadline);

    RetriedFetch fetched =
        options.proxies ? fetchThroughProxies(request, proxy, *options.proxies, deadline, stop, options.retry)
                        : fetchWithRetries(request, deadline, stop, options.retry);
    RowResult outcome;
    outcome.timeLimitSeconds = limitSeconds;
    outcome.timedOut = fetched.outcome.end == net::FetchEnd::TimedOut;
    outcome.evidence = evidenceOf(fetched, row.siteHost);
    // The body counts as text up to its first NUL byte.
    ResponseVerdict verdict = classifyResponse(fetched.outcome.headerText,
                                               text::untilNul(fetched.outcome.body), row.emptyBodyFails);
    verdict = applyStricterRules(verdict, options, outcome.evidence);
    if (verdict.success && baseline) {
        bool same = controlUrl == row.url; // a template without the placeholder asks about no site
        if (!same && !control) {
            controlRequest.proxy = request.proxy;
            control.emplace(controlRequest, deadline);
        }
        if (control) {
            const net::FetchOutcome controlPage = control->wait(stop);
            same = controlPage.end == net::FetchEnd::Response &&
                   samePageForAnyHost(fetched.outcome.body, row.siteHost, controlPage.body, controlHost);
        }
        if (same)
            verdict = ResponseVerdict{false, ResponseTest::SamePage, verdict.status};
    }
    outcome.mark = verdictMark(verdict);
    outcome.decidedBy = verdict.decidedBy;
    outcome.httpStatus = verdict.status;
    outcome.reason = reasonFor(verdict, fetched.outcome, limitSeconds);
    outcome.milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
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
