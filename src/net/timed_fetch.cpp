#include "net/timed_fetch.h"

#include "net/fetch_block.h"
#include "net/http_fetch.h"
#include "net/transfer_job.h"

#include <chrono>

namespace tavrin::net {

PendingFetch::PendingFetch(const FetchRequest& request, Deadline deadline)
    : deadline_(deadline)
{
    FetchBlock block;
    writeRequestRecord(block, request);
    job_ = startFetch(block, deadline);
}

PendingFetch::~PendingFetch()
{
    if (job_)
        job_->abandon();
}

FetchOutcome PendingFetch::wait(const std::stop_token& stop)
{
    FetchOutcome outcome;
    if (!job_) {
        outcome.end = FetchEnd::Refused;
        return outcome;
    }
    const std::shared_ptr<TransferJob> job = std::move(job_);
    if (!job->waitUntil(deadline_, stop)) {
        job->abandon();
        outcome.end = stop.stop_requested() ? FetchEnd::Stopped : FetchEnd::TimedOut;
        return outcome;
    }
    outcome.finalUrl = std::move(job->finalUrl());
    std::optional<FetchResult> result = readResultRecord(job->block());
    if (!result || result->headerText.empty()) {
        outcome.end = FetchEnd::NoResponse;
        outcome.failure = job->failure();
        outcome.closedBeforeResponse = job->closedBeforeResponse();
        return outcome;
    }
    outcome.end = FetchEnd::Response;
    outcome.headerText = std::move(result->headerText);
    outcome.body = std::move(result->body);
    outcome.bodyCapped = job->bodyCapped();
    return outcome;
}

FetchOutcome fetchUntil(const FetchRequest& request, Deadline deadline, const std::stop_token& stop)
{
    PendingFetch pending(request, deadline);
    return pending.wait(stop);
}

Deadline deadlineIn(int timeLimitSeconds)
{
    return std::chrono::steady_clock::now() +
           std::chrono::seconds(timeLimitSeconds > 0 ? timeLimitSeconds : kDefaultTimeLimitSeconds);
}

FetchOutcome runTimedFetch(const FetchRequest& request, int timeLimitSeconds, std::stop_token stop)
{
    // The limit counts from the start of the request, whatever happens meanwhile.
    return fetchUntil(request, deadlineIn(timeLimitSeconds), stop);
}

std::string timedFetch(std::string_view url, std::string_view method, std::string_view proxy,
                       std::string_view userName, std::string_view password, std::string_view referer,
                       std::string_view body, int timeLimitSeconds, Text* headerText, std::string_view accept,
                       std::stop_token stop)
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
    FetchOutcome outcome = runTimedFetch(request, timeLimitSeconds, std::move(stop));
    if (headerText)
        *headerText = std::move(outcome.headerText);
    return std::move(outcome.body);
}

} // namespace tavrin::net
