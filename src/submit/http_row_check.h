// The real check of one query URL: a timed GET, retried when the service says "not now",
// judged by the response rules and, when asked, by the stricter rules about the site.
#pragma once

#include <memory>

#include "net/timed_fetch.h"
#include "submit/proxy_pool.h"
#include "submit/retrying_fetch.h"
#include "submit/row_check.h"

namespace tavrin::submit {

struct CheckOptions
{
    // Seconds a row may take, retries and the baseline request included (0: the default of 90).
    int timeLimitSeconds = net::kDefaultTimeLimitSeconds;
    // The proxy (proxy_address.h); empty for a direct connection. Without a pool it is a pool of
    // one for each row, which learns nothing from the other rows.
    text::Text proxy;
    // The proxies to take turns over instead (--proxies, or --proxy in a pass), shared by every
    // row of the run (proxied_fetch.h). A row that no proxy could carry is not checked.
    std::shared_ptr<ProxyPool> proxies;
    // Stricter rules, off unless asked for: the page must name the site ...
    bool requireMention = false;
    // ... must link to it ...
    bool requireLink = false;
    // ... and must differ from the page the same template gives for a host that nobody owns
    // (a service answering every query with one page lists nobody).
    bool baseline = false;
    // The control page of the baseline rule is asked for only after the row's own page, not at
    // the same time: set under a per-host cap, which counts a row as one request.
    bool oneRequestAtATime = false;
    RetryRules retry;
    // What every request says besides its URL and proxy (method, referer, accept, body); a
    // submission leaves it empty, `tavrin-cli fetch` fills it from its options.
    net::FetchRequest requestFields;
};

// Checks one row now, on the calling thread. `lastAttempt`, when given, receives what the last
// request brought back (the raw header text and body included).
[[nodiscard]] RowResult checkRow(const RowRequest& request, const CheckOptions& options,
                                 const std::stop_token& stop = {}, net::FetchOutcome* lastAttempt = nullptr);

// A row check for the submission engine with these options.
[[nodiscard]] RowCheck httpRowCheck(CheckOptions options = {});

// The host the baseline rule asks about instead of the site: twelve random letters under .com,
// a name nobody is likely to own.
[[nodiscard]] text::Text randomControlHost();

// True when two pages are the same once every occurrence of each page's own host (ASCII letters
// compared without case) is replaced by one token.
[[nodiscard]] bool samePageForAnyHost(std::string_view page, std::string_view host,
                                      std::string_view otherPage, std::string_view otherHost);

} // namespace tavrin::submit
