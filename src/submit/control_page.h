// The baseline rule's control page: the row's template asked about a host nobody owns. A service
// that gives that host the same page as the site (each page's own host blanked out) answers
// every query alike and lists nobody.
//
// The control page is fetched the way the row's own page is: retried by the same rules, under
// the row's deadline, through the same proxies with the same checks of them. Otherwise a service
// that is busy for the first request of every query would give the row and the control page
// different answers only because of when each was asked. A control page that could not be read
// leaves the rule unapplied; it never decides the row either way.
#pragma once

#include "submit/proxied_fetch.h"
#include "submit/row_check.h"

#include <functional>
#include <optional>
#include <stop_token>
#include <string_view>
#include <thread>

namespace tavrin::submit {

// The host the baseline rule asks about instead of the site: twelve random letters under .com,
// a name nobody is likely to own.
[[nodiscard]] text::Text randomControlHost();

// The URL of the control page: the row's template expanded with `controlHost`; a row without a
// template stands for its URL with the site host turned back into the placeholder.
[[nodiscard]] text::Text controlUrlFor(const RowRequest& row, std::string_view controlHost);

// True when two pages are the same once every occurrence of each page's own host (ASCII letters
// compared without case) is replaced by one token.
[[nodiscard]] bool samePageForAnyHost(std::string_view page, std::string_view host,
                                      std::string_view otherPage, std::string_view otherHost);

// What the baseline rule makes of the row's page `page` (about `siteHost`) beside what the
// control request for `controlHost` brought: Same, Differs, or Unreadable when the control page
// is no ordinary answer that could be compared.
[[nodiscard]] BaselineCheck compareWithControl(std::string_view page, std::string_view siteHost,
                                               const ProxiedFetch& control, std::string_view controlHost);

// A control page fetched at the same time as the row's own page, on a thread of its own. The
// fetch is given the row's stop and the thread's own; the thread ends with the fetch, which
// ends by the row's deadline at the latest or promptly once stopped.
class ConcurrentControlFetch
{
public:
    using Fetch = std::function<ProxiedFetch(const std::stop_token& stop)>;

    // Starts `fetch` at once; a stop of `rowStop` stops it too.
    ConcurrentControlFetch(Fetch fetch, const std::stop_token& rowStop);
    // Stops the fetch if it is still under way (its page is no longer wanted: the row failed
    // before the rule, or was not checked) and waits for its thread.
    ~ConcurrentControlFetch();
    ConcurrentControlFetch(const ConcurrentControlFetch&) = delete;
    ConcurrentControlFetch& operator=(const ConcurrentControlFetch&) = delete;

    // Waits for the fetch to end and gives what it brought. Call once.
    [[nodiscard]] ProxiedFetch wait();

private:
    // Passes a stop of the row on to the thread.
    struct ForwardStop
    {
        std::stop_source thread;
        void operator()() const { (void)thread.request_stop(); }
    };

    ProxiedFetch fetched_; // written by the thread, read only once it has been joined
    std::jthread thread_;
    // Last, so that it is gone before the thread is joined.
    std::optional<std::stop_callback<ForwardStop>> forwardStop_;
};

} // namespace tavrin::submit
