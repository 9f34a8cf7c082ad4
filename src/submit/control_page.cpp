#include "submit/control_page.h"

#include "library/site_host.h"
#include "submit/classify_response.h"

#include <algorithm>
#include <random>
#include <string>

namespace tavrin::submit {

namespace {

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

// Whether the control request brought an ordinary answer, one that says what the service shows
// for a host it does not know: a response the proxies carried, whose status (after the retries)
// is below 400, read whole.
//  - An error status says the request was refused or failed (a firewall, a rate limit, an
//    outage) as much as that the host is unknown; it cannot tell a service that lists nobody
//    from one that does.
//  - A body cut short or cut at the cap is not the page: a comparison with part of it would say
//    "differs" for nothing.
//  - A 3xx (one no redirect was followed from) and a page that refreshes to another do count:
//    they are the service's own answer for the unknown host. A row that gets the very same one
//    is answered alike whatever the host (×); the row's own page passed the response rules, which
//    already fail a page that refreshes, so a refreshing control page differs from it, rightly:
//    the service sends an unknown host away and shows the site.
bool isOrdinaryAnswer(const ProxiedFetch& control)
{
    const net::FetchOutcome& answer = control.fetched.outcome;
    if (control.notChecked != NotChecked::No || answer.end != net::FetchEnd::Response ||
        answer.proxyTrouble != net::ProxyTrouble::None || !answer.bodyComplete)
        return false;
    const int status = statusCodeOf(answer.headerText);
    return status > 0 && status < 400;
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

text::Text controlUrlFor(const RowRequest& row, std::string_view controlHost)
{
    const text::Text templateText =
        row.templateText ? *row.templateText : library::collapseHost(row.url, row.siteHost);
    return library::expandTemplate(templateText, controlHost);
}

bool samePageForAnyHost(std::string_view page, std::string_view host, std::string_view otherPage,
                        std::string_view otherHost)
{
    return withHostReplaced(page, host) == withHostReplaced(otherPage, otherHost);
}

BaselineCheck compareWithControl(std::string_view page, std::string_view siteHost,
                                 const ProxiedFetch& control, std::string_view controlHost)
{
    if (!isOrdinaryAnswer(control))
        return BaselineCheck::Unreadable;
    return samePageForAnyHost(page, siteHost, control.fetched.outcome.body, controlHost)
               ? BaselineCheck::Same
               : BaselineCheck::Differs;
}

ConcurrentControlFetch::ConcurrentControlFetch(Fetch fetch, const std::stop_token& rowStop)
    : thread_([this, fetch = std::move(fetch)](const std::stop_token& stop) { fetched_ = fetch(stop); })
{
    forwardStop_.emplace(rowStop, ForwardStop{thread_.get_stop_source()});
}

// The members go in reverse order: the row's stop is no longer passed on, then the thread is
// asked to stop (if it has not been joined) and joined.
ConcurrentControlFetch::~ConcurrentControlFetch() = default;

ProxiedFetch ConcurrentControlFetch::wait()
{
    thread_.join();
    return std::move(fetched_);
}

} // namespace tavrin::submit
