#include "submit/row_scheduler.h"

#include "net/url_parts.h"

#include <algorithm>
#include <limits>

namespace tavrin::submit {

RowScheduler::RowScheduler(const std::vector<text::Text>& urls, const HostTimes& known, int perHost)
    : perHost_(perHost)
{
    hostOfRow_.reserve(urls.size());
    std::unordered_map<text::Text, int> hostNumbers;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        text::Text name = net::urlHost(urls[i]);
        const auto [entry, added] = hostNumbers.try_emplace(name, static_cast<int>(hosts_.size()));
        if (added) {
            hosts_.emplace_back();
            hosts_.back().name = std::move(name);
        }
        hosts_[static_cast<std::size_t>(entry->second)].positions.push_back(static_cast<int>(i) + 1);
        hostOfRow_.push_back(entry->second);
    }
    double knownTotal = 0;
    int knownHosts = 0;
    for (int number = 0; number < static_cast<int>(hosts_.size()); ++number) {
        Host& host = hosts_[static_cast<std::size_t>(number)];
        const auto found = known.find(host.name);
        if (found == known.end()) {
            probeOrder_.push_back(number);
            continue;
        }
        host.knownSeconds = found->second;
        measured_.insert({found->second, number});
        knownTotal += found->second;
        ++knownHosts;
    }
    unknownHostSeconds_ = knownHosts > 0 ? knownTotal / knownHosts : std::numeric_limits<double>::infinity();
    // Hosts were numbered by first appearance, so a stable sort keeps list order among equals.
    std::stable_sort(probeOrder_.begin(), probeOrder_.end(), [this](int a, int b) {
        return hosts_[static_cast<std::size_t>(a)].positions.size() >
               hosts_[static_cast<std::size_t>(b)].positions.size();
    });
}

HostTimes RowScheduler::hostTimes()
{
    const std::lock_guard lock(mutex_);
    HostTimes times;
    for (const Host& host : hosts_) {
        if (host.measured())
            times[host.name] = host.averageSeconds();
    }
    return times;
}

int RowScheduler::take(int hostNumber, Clock::time_point now)
{
    Host& host = hosts_[static_cast<std::size_t>(hostNumber)];
    if (host.next == 0)
        host.firstStart = now;
    const int position = host.positions[host.next++];
    ++host.checking;
    if (!host.pending() && host.measured())
        measured_.erase({host.averageSeconds(), hostNumber});
    return position;
}

bool RowScheduler::hasRoom(int hostNumber) const
{
    return perHost_ <= 0 || hosts_[static_cast<std::size_t>(hostNumber)].checking < perHost_;
}

std::optional<int> RowScheduler::oldestRunning()
{
    while (!running_.empty()) {
        const Host& host = hosts_[static_cast<std::size_t>(running_.front())];
        if (host.pending() && !host.measured())
            break;
        running_.pop_front();
    }
    // Past the hosts at their cap: the front is the oldest, but a younger one may have room.
    for (const int hostNumber : running_) {
        const Host& host = hosts_[static_cast<std::size_t>(hostNumber)];
        if (host.pending() && !host.measured() && hasRoom(hostNumber))
            return hostNumber;
    }
    return std::nullopt;
}

bool RowScheduler::roomOrDone() const
{
    bool pending = false;
    for (int number = 0; number < static_cast<int>(hosts_.size()); ++number) {
        if (!hosts_[static_cast<std::size_t>(number)].pending())
            continue;
        pending = true;
        if (hasRoom(number))
            return true;
    }
    return !pending;
}

bool RowScheduler::handedOut()
{
    const std::lock_guard lock(mutex_);
    return std::none_of(hosts_.begin(), hosts_.end(), [](const Host& host) { return host.pending(); });
}

void RowScheduler::waitForRoom(const std::stop_token& stop)
{
    std::unique_lock lock(mutex_);
    room_.wait(lock, stop, [this] { return roomOrDone(); });
}

std::optional<int> RowScheduler::claim(Clock::time_point now)
{
    const std::lock_guard lock(mutex_);
    // The candidates, each with the time its next row is expected to take: a host not timed
    // yet, the host whose first row has been running longest, and the slowest timed host.
    // Among equals, asking a new host comes first, then the running one.
    const bool canProbe = nextProbe_ < probeOrder_.size();
    const std::optional<int> running = oldestRunning();
    // The slowest measured host with room.
    std::optional<std::pair<double, int>> slowest;
    for (const auto& entry : measured_) {
        if (hasRoom(entry.second)) {
            slowest = entry;
            break;
        }
    }
    const bool haveMeasured = slowest.has_value();
    const double probeSeconds = canProbe ? unknownHostSeconds_ : -1.0;
    const double runningSeconds =
        running ? std::chrono::duration<double>(now - hosts_[static_cast<std::size_t>(*running)].firstStart)
                      .count()
                : -1.0;
    const double measuredSeconds = haveMeasured ? slowest->first : -1.0;

    if (canProbe && probeSeconds >= runningSeconds && probeSeconds >= measuredSeconds) {
        const int hostNumber = probeOrder_[nextProbe_++];
        const int position = take(hostNumber, now);
        if (hosts_[static_cast<std::size_t>(hostNumber)].pending())
            running_.push_back(hostNumber);
        return position;
    }
    if (running && runningSeconds >= measuredSeconds)
        return take(*running, now);
    if (haveMeasured)
        return take(slowest->second, now);
    return std::nullopt;
}

void RowScheduler::finished(int position, Clock::duration took)
{
    const std::lock_guard lock(mutex_);
    if (position < 1 || position > rowCount())
        return;
    const int hostNumber = hostOfRow_[static_cast<std::size_t>(position - 1)];
    Host& host = hosts_[static_cast<std::size_t>(hostNumber)];
    if (host.measured() && host.pending())
        measured_.erase({host.averageSeconds(), hostNumber});
    ++host.finishedRows;
    host.totalSeconds += std::chrono::duration<double>(took).count();
    if (host.pending())
        measured_.insert({host.averageSeconds(), hostNumber});
    --host.checking;
    if (perHost_ > 0)
        room_.notify_all();
}

} // namespace tavrin::submit
