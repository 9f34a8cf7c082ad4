#include "net/timed_fetch.h"

#include "net/transfer_job.h"

#include <chrono>
#include <utility>

namespace tavrin::net {

namespace {

// What the network thread brought, as the caller sees it. Everything is moved: the body and
// the header text handed out are the transfer's own buffers.
FetchOutcome outcomeOf(TransferOutcome done)
{
    FetchOutcome outcome;
    outcome.finalUrl = std::move(done.finalUrl);
    outcome.proxyTrouble = done.proxyTrouble;
    outcome.proxyAnswered = done.proxyAnswered;
    outcome.reached = done.reached;
    if (done.headerText.empty()) {
        outcome.end = FetchEnd::NoResponse;
        outcome.failure = std::move(done.failure);
        outcome.closedBeforeResponse = done.closedBeforeResponse;
        return outcome;
    }
    outcome.end = FetchEnd::Response;
    outcome.headerText = std::move(done.headerText);
    outcome.body = std::move(done.body);
    outcome.bodyCapped = done.bodyCapped;
    outcome.bodyComplete = done.bodyComplete;
    return outcome;
}

} // namespace

PendingFetch::PendingFetch(FetchRequest request, Deadline deadline)
    : PendingFetch(startFetch(std::move(request), deadline), deadline)
{}

PendingFetch::PendingFetch(std::shared_ptr<TransferJob> job, Deadline deadline)
    : job_(std::move(job))
    , deadline_(deadline)
{}

PendingFetch::~PendingFetch()
{
    if (job_)
        job_->abandon();
}

FetchOutcome PendingFetch::wait(const std::stop_token& stop)
{
    return *waitUntil(deadline_, stop);
}

std::optional<FetchOutcome> PendingFetch::waitUntil(Deadline until, const std::stop_token& stop)
{
    FetchOutcome outcome;
    if (!job_) {
        outcome.end = FetchEnd::Refused;
        return outcome;
    }
    const bool early = until < deadline_;
    if (!job_->waitUntil(early ? until : deadline_, stop)) {
        if (early && !stop.stop_requested())
            return std::nullopt;
        const std::shared_ptr<TransferJob> job = std::move(job_);
        job->abandon();
        outcome.end = stop.stop_requested() ? FetchEnd::Stopped : FetchEnd::TimedOut;
        outcome.reached = job->progress();
        return outcome;
    }
    const std::shared_ptr<TransferJob> job = std::move(job_);
    return outcomeOf(job->takeOutcome());
}

FetchProgress PendingFetch::progress() const
{
    return job_ ? job_->progress() : FetchProgress();
}

FetchOutcome fetchUntil(FetchRequest request, Deadline deadline, const std::stop_token& stop)
{
    PendingFetch pending(std::move(request), deadline);
    return pending.wait(stop);
}

Deadline deadlineIn(int timeLimitSeconds)
{
    return std::chrono::steady_clock::now() +
           std::chrono::seconds(timeLimitSeconds > 0 ? timeLimitSeconds : kDefaultTimeLimitSeconds);
}

FetchOutcome runTimedFetch(FetchRequest request, int timeLimitSeconds, const std::stop_token& stop)
{
    // The limit counts from the start of the request, whatever happens meanwhile.
    return fetchUntil(std::move(request), deadlineIn(timeLimitSeconds), stop);
}

std::string timedFetch(std::string_view url, std::string_view method, std::string_view proxy,
                       std::string_view userName, std::string_view password, std::string_view referer,
                       std::string_view body, int timeLimitSeconds, Text* headerText, std::string_view accept,
                       const std::stop_token& stop)
{
    FetchRequest request;
    request.url = url;
    request.method = method;
    request.proxy = proxy;
    request.userName = userName;
    request.password = password;
    request.referer = referer;
    request.accept = accept;
    request.body = body;
    FetchOutcome outcome = runTimedFetch(std::move(request), timeLimitSeconds, stop);
    if (headerText)
        *headerText = std::move(outcome.headerText);
    return std::move(outcome.body);
}

} // namespace tavrin::net
