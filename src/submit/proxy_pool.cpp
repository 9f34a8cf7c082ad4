#include "submit/proxy_pool.h"

#include <algorithm>

namespace tavrin::submit {

ProxyPool::ProxyPool(std::vector<text::Text> proxies)
{
    entries_.reserve(proxies.size());
    for (text::Text& address : proxies)
        entries_.push_back(Entry{std::move(address)});
}

std::optional<text::Text> ProxyPool::next()
{
    const std::lock_guard lock(mutex_);
    for (std::size_t tried = 0; tried < entries_.size(); ++tried) {
        const Entry& entry = entries_[nextEntry_];
        nextEntry_ = (nextEntry_ + 1) % entries_.size();
        if (!entry.setAside)
            return entry.address;
    }
    return std::nullopt;
}

void ProxyPool::report(const text::Text& proxy, bool responded)
{
    const std::lock_guard lock(mutex_);
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&proxy](const Entry& entry) { return entry.address == proxy; });
    if (found == entries_.end() || found->setAside)
        return;
    found->failuresInARow = responded ? 0 : found->failuresInARow + 1;
    if (found->failuresInARow >= kFailuresToSetAside) {
        found->setAside = true;
        setAsideOrder_.push_back(found->address);
    }
}

bool ProxyPool::exhausted() const
{
    const std::lock_guard lock(mutex_);
    return setAsideOrder_.size() == entries_.size();
}

std::vector<text::Text> ProxyPool::setAside() const
{
    const std::lock_guard lock(mutex_);
    return setAsideOrder_;
}

} // namespace tavrin::submit
