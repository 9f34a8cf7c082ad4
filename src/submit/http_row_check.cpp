#include "submit/http_row_check.h"

#include "library/site_host.h"
#include "net/request_headers.h"
#include "net/response_headers.h"
#include "submit/page_evidence.h"
#include "submit/proxied_fetch.h"
#include "text/messages.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <vector>

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
    // Through proxies, the row's first request goes through the next one in turn. One proxy
    // given without a pool is a pool of one for this row alone.
    std::shared_ptr<ProxyPool> proxies = options.proxies;
    if (!proxies && net::countsAsPresent(options.proxy))
        proxies = std::make_shared<ProxyPool>(std::vector<text::Text>{options.proxy});
    std::optional<std::size_t> firstProxy;
    if (proxies) {
        firstProxy = proxies->next();
        request.proxy = firstProxy ? proxies->given(*firstProxy) : text::Text();
    }

    // The control page is asked for at the same time as the row's own, under the same deadline;
    // with one request at a time to a service, only after the row's own page passed.
    const bool baseline = options.baseline && !row.siteHost.empty();
    const text::Text controlHost = baseline ? randomControlHost() : text::Text();
    const text::Text controlUrl = baseline ? controlUrlFor(row, controlHost) : text::Text();
    net::FetchRequest controlRequest = request;
    controlRequest.url = controlUrl;
    std::optional<net::PendingFetch> control;
    if (baseline && controlUrl != row.url && !options.oneRequestAtATime && (!proxies || firstProxy))
        control.emplace(controlRequest, deadline);

    RetriedFetch fetched;
    if (proxies) {
        ProxiedFetch proxied =
            fetchThroughProxies(request, *proxies, firstProxy, deadline,
                                proxyPatience(std::chrono::seconds(limitSeconds)), stop, options.retry);
        if (proxied.notChecked != NotChecked::No) {
            RowResult notChecked = notCheckedResult(proxied, limitSeconds);
            notChecked.milliseconds =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
            if (lastAttempt)
                *lastAttempt = std::move(proxied.fetched.outcome);
            return notChecked;
        }
        fetched = std::move(proxied.fetched);
    } else {
        fetched = fetchWithRetries(request, deadline, stop, options.retry);
    }
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
