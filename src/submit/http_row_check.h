// The real check of one query URL: a timed GET, retried when the service says "not now",
// judged by the response rules and, when asked, by the stricter rules about the site.
#pragma once

#include <memory>

#include "net/timed_fetch.h"
#include "submit/control_page.h"
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
    // (a service answering every query with one page lists nobody). That control page is asked
    // for as the row's own page is (control_page.h); when it cannot be read, the rule is not
    // applied and the row keeps the verdict of the others.
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

} // namespace tavrin::submit
