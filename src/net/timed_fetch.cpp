#include "net/timed_fetch.h"

#include "net/fetch_block.h"
#include "net/http_fetch.h"
#include "net/transfer_job.h"

#include <chrono>

namespace tavrin::net {

FetchOutcome runTimedFetch(const FetchRequest& request, int timeLimitSeconds, std::stop_token stop)
{
    // The limit counts from the start of the request, whatever happens meanwhile.
    const Deadline deadline =
        std::chrono::steady_clock::now() +
        std::chrono::seconds(timeLimitSeconds > 0 ? timeLimitSeconds : kDefaultTimeLimitSeconds);
    FetchOutcome outcome;
    FetchBlock block;
    writeRequestRecord(block, request);
    const std::shared_ptr<TransferJob> job = startFetch(block, deadline);
    if (!job) {
        outcome.end = FetchEnd::Refused;
        return outcome;
    }
    if (!job->waitUntil(deadline, stop)) {
        job->abandon();
        outcome.end = stop.stop_requested() ? FetchEnd::Stopped : FetchEnd::TimedOut;
        return outcome;
    }
    std::optional<FetchResult> result = readResultRecord(job->block());
    if (!result || result->headerText.empty()) {
        outcome.end = FetchEnd::NoResponse;
        outcome.failure = job->failure();
        return outcome;
    }
    outcome.end = FetchEnd::Response;
    outcome.headerText = std::move(result->headerText);
    outcome.body = std::move(result->body);
    outcome.bodyCapped = job->bodyCapped();
    return outcome;
}

std::string TimedFetch(std::string_view url, std::string_view method, std::string_view proxy,
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
