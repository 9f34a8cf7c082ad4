// The proxies of a run (--proxies FILE, or the one --proxy): whose turn it is, what each has
// shown of itself, and which have been set aside for the rest of the run.
//
// A proxy is blamed only for what it did (net/proxy_trouble.h); a slow, resetting or failing
// service behind a working proxy says nothing about the proxy. It is set aside
//  - after kClearFailuresInARow failures of its own with no answer through it in between:
//    refused, host not found, no connection (or no answer at all, not even to a request for the
//    proxy itself) in time, no proxy's answer, a demand for credentials;
//  - after it stayed silent on requests for kSilentServices different services that another
//    proxy then answered, with no answer through it in between. Silence alone proves nothing (the
//    services may all be slow); silence on a service that answers through another proxy does.
// Any answer for a request through a proxy (a response of any status, a tunnel opened, "cannot
// reach the service") wipes its failures out.
//
// It also keeps what tells a working proxy from a dead one while a request waits on it: when the
// proxy last answered for a request, and its probes (proxied_fetch.cpp), one at a time per proxy.
//
// Thread-safe: the workers of every pass share one pool.
#pragma once

#include "net/proxy_address.h"
#include "net/proxy_trouble.h"
#include "text/gbk_text.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

namespace tavrin::submit {

class ProxyPool
{
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kClearFailuresInARow = 2;
    static constexpr std::size_t kSilentServices = 3;

    struct SetAside
    {
        net::ProxyAddress address;
        // What set it aside: the last clear failure, or Silent.
        net::ProxyTrouble reason = net::ProxyTrouble::None;
    };

    // `proxies` as the user gave them, each one that parseProxyAddress reads; at least one.
    explicit ProxyPool(std::vector<text::Text> proxies);

    [[nodiscard]] std::size_t size() const { return entries_.size(); }
    // The proxy as the user gave it (what a request names), and as read.
    [[nodiscard]] const text::Text& given(std::size_t proxy) const { return entries_[proxy].given; }
    [[nodiscard]] const net::ProxyAddress& address(std::size_t proxy) const
    {
        return entries_[proxy].address;
    }

    // The proxy for the next attempt: the next in turn that is neither set aside nor among
    // `tried`; nothing when none is left.
    [[nodiscard]] std::optional<std::size_t> next(const std::vector<std::size_t>& tried = {});
    // Whether next(tried) would give a proxy.
    [[nodiscard]] bool anyLeft(const std::vector<std::size_t>& tried) const;
    // The proxy answered for a request for `service` (scheme, host and port) just now.
    void noteAnswer(std::size_t proxy, const text::Text& service);
    // The proxy failed a request for `service`.
    void noteFailure(std::size_t proxy, net::ProxyTrouble trouble, const text::Text& service);
    // The proxy answered for a request (not a probe) at or after `since`.
    [[nodiscard]] bool showsLife(std::size_t proxy, Clock::time_point since) const;

    // Probes: true when the caller is to probe the proxy now (no other probe of it is under way),
    // and must then call endProbe with what came of it (nothing for a probe cut short by a stop).
    [[nodiscard]] bool claimProbe(std::size_t proxy);
    void endProbe(std::size_t proxy, std::optional<bool> answered);
    // Waits until the probe under way ends, at most until `until` or a stop; whether the last
    // probe that ended at or after `since` was answered, nothing when none did.
    [[nodiscard]] std::optional<bool> waitForProbe(std::size_t proxy, Clock::time_point since,
                                                   Clock::time_point until, const std::stop_token& stop);

    [[nodiscard]] bool isSetAside(std::size_t proxy) const;
    // True once every proxy has been set aside.
    [[nodiscard]] bool exhausted() const;
    // The proxies set aside so far, in the order they were.
    [[nodiscard]] std::vector<SetAside> setAside() const;

private:
    struct Entry
    {
        text::Text given;
        net::ProxyAddress address;
        std::optional<Clock::time_point> lastAnswer;
        int clearFailuresInARow = 0;
        // The services it was silent on since its last answer; true once another proxy answered
        // one of them.
        std::map<text::Text, bool> silentServices;
        std::size_t silencesProven = 0;
        bool probing = false;
        // When the last probe ended, and whether it was answered.
        std::optional<Clock::time_point> lastProbe;
        bool lastProbeAnswered = false;
        bool setAside = false;
    };

    // Under mutex_: sets `entry` aside for `reason`.
    void setAsideLocked(Entry& entry, net::ProxyTrouble reason);

    mutable std::mutex mutex_;
    std::condition_variable_any probeEnded_;
    std::vector<Entry> entries_;          // its size and each entry's given and address never change
    std::size_t nextEntry_ = 0;           // guarded by mutex_
    std::vector<SetAside> setAsideOrder_; // guarded by mutex_
};

} // namespace tavrin::submit
