// Requests spread over a list of proxies (--proxies FILE): each request goes through the next
// proxy in turn; a proxy through which kFailuresToSetAside requests in a row got no response is
// set aside for the rest of the run, and a row that got no response is tried again through the
// next proxy while its time limit lasts (http_row_check.cpp).
//
// Thread-safe: the workers of every pass share one pool.
#pragma once

#include "text/gbk_text.h"

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace tavrin::submit {

class ProxyPool
{
public:
    static constexpr int kFailuresToSetAside = 3;

    // `proxies` as parseProxyAddress reads them, at least one.
    explicit ProxyPool(std::vector<text::Text> proxies);

    // The proxy for the next request; nothing once every proxy has been set aside.
    [[nodiscard]] std::optional<text::Text> next();
    // What became of a request through `proxy`: a response of any kind, or none.
    void report(const text::Text& proxy, bool responded);
    // True once every proxy has been set aside.
    [[nodiscard]] bool exhausted() const;
    // The proxies set aside so far, in the order they were.
    [[nodiscard]] std::vector<text::Text> setAside() const;

private:
    struct Entry
    {
        text::Text address;
        int failuresInARow = 0;
        bool setAside = false;
    };

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;            // guarded by mutex_
    std::size_t nextEntry_ = 0;             // guarded by mutex_
    std::vector<text::Text> setAsideOrder_; // guarded by mutex_
};

} // namespace tavrin::submit
