#include "submit/proxy_pool.h"

#include <algorithm>

namespace tavrin::submit {

ProxyPool::ProxyPool(std::vector<text::Text> proxies)
{
    entries_.reserve(proxies.size());
    for (text::Text& given : proxies) {
        Entry entry;
        entry.address = net::parseProxyAddress(given).value_or(net::ProxyAddress());
        entry.given = std::move(given);
        entries_.push_back(std::move(entry));
    }
}

std::optional<std::size_t> ProxyPool::next(const std::vector<std::size_t>& tried)
{
    const std::lock_guard lock(mutex_);
    for (std::size_t looked = 0; looked < entries_.size(); ++looked) {
        const std::size_t proxy = nextEntry_;
        nextEntry_ = (nextEntry_ + 1) % entries_.size();
        if (!entries_[proxy].setAside && std::find(tried.begin(), tried.end(), proxy) == tried.end())
            return proxy;
    }
    return std::nullopt;
}

bool ProxyPool::anyLeft(const std::vector<std::size_t>& tried) const
{
    const std::lock_guard lock(mutex_);
    for (std::size_t proxy = 0; proxy < entries_.size(); ++proxy) {
        if (!entries_[proxy].setAside && std::find(tried.begin(), tried.end(), proxy) == tried.end())
            return true;
    }
    return false;
}

void ProxyPool::noteAnswer(std::size_t proxy, const text::Text& service)
{
    const std::lock_guard lock(mutex_);
    Entry& answered = entries_[proxy];
    answered.lastAnswer = Clock::now();
    answered.clearFailuresInARow = 0;
    answered.silentServices.clear();
    answered.silencesProven = 0;
    // The service works: the proxies that stayed silent on it are to blame.
    for (Entry& other : entries_) {
        const auto silent = other.silentServices.find(service);
        if (other.setAside || silent == other.silentServices.end() || silent->second)
            continue;
        silent->second = true;
        if (++other.silencesProven >= kSilentServices)
            setAsideLocked(other, net::ProxyTrouble::Silent);
    }
}

void ProxyPool::noteFailure(std::size_t proxy, net::ProxyTrouble trouble, const text::Text& service)
{
    const std::lock_guard lock(mutex_);
    Entry& entry = entries_[proxy];
    if (entry.setAside || trouble == net::ProxyTrouble::None)
        return;
    if (trouble == net::ProxyTrouble::Silent) {
        entry.silentServices.emplace(service, false);
        return;
    }
    if (++entry.clearFailuresInARow >= kClearFailuresInARow)
        setAsideLocked(entry, trouble);
}

bool ProxyPool::showsLife(std::size_t proxy, Clock::time_point since) const
{
    const std::lock_guard lock(mutex_);
    const Entry& entry = entries_[proxy];
    return entry.lastAnswer && *entry.lastAnswer >= since;
}

bool ProxyPool::claimProbe(std::size_t proxy)
{
    const std::lock_guard lock(mutex_);
    Entry& entry = entries_[proxy];
    if (entry.probing)
        return false;
    entry.probing = true;
    return true;
}

void ProxyPool::endProbe(std::size_t proxy, std::optional<bool> answered)
{
    {
        const std::lock_guard lock(mutex_);
        Entry& entry = entries_[proxy];
        entry.probing = false;
        if (answered) {
            entry.lastProbe = Clock::now();
            entry.lastProbeAnswered = *answered;
        }
    }
    probeEnded_.notify_all();
}

std::optional<bool> ProxyPool::waitForProbe(std::size_t proxy, Clock::time_point since,
                                            Clock::time_point until, const std::stop_token& stop)
{
    std::unique_lock lock(mutex_);
    const Entry& entry = entries_[proxy];
    (void)probeEnded_.wait_until(lock, stop, until, [&entry] { return !entry.probing; });
    if (!entry.lastProbe || *entry.lastProbe < since)
        return std::nullopt;
    return entry.lastProbeAnswered;
}

bool ProxyPool::isSetAside(std::size_t proxy) const
{
    const std::lock_guard lock(mutex_);
    return entries_[proxy].setAside;
}

bool ProxyPool::exhausted() const
{
    const std::lock_guard lock(mutex_);
    return setAsideOrder_.size() == entries_.size();
}

std::vector<ProxyPool::SetAside> ProxyPool::setAside() const
{
    const std::lock_guard lock(mutex_);
    return setAsideOrder_;
}

void ProxyPool::setAsideLocked(Entry& entry, net::ProxyTrouble reason)
{
    entry.setAside = true;
    setAsideOrder_.push_back(SetAside{entry.address, reason});
}

} // namespace tavrin::submit
