#include "net/http_post.h"

#include "net/transfer_job.h"

#include <algorithm>
#include <charconv>

namespace tavrin::net {

PendingPost::PendingPost(PostRequest request, Deadline deadline)
    : job_(startTransfer(HttpTransfer::forPost(std::move(request), deadline)))
    , deadline_(deadline)
{}

PendingPost::~PendingPost()
{
    if (job_)
        job_->abandon();
}

PendingPost::PendingPost(PendingPost&& other) noexcept
    : job_(std::move(other.job_))
    , deadline_(other.deadline_)
{}

PendingPost& PendingPost::operator=(PendingPost&& other) noexcept
{
    if (this != &other) {
        if (job_)
            job_->abandon();
        job_ = std::move(other.job_);
        deadline_ = other.deadline_;
    }
    return *this;
}

PostOutcome PendingPost::wait(const std::stop_token& stop)
{
    PostOutcome outcome;
    if (!job_)
        return outcome;
    const std::shared_ptr<TransferJob> job = std::move(job_);
    if (!job->waitUntil(deadline_, stop)) {
        job->abandon();
        outcome.end = stop.stop_requested() ? PostEnd::Stopped : PostEnd::TimedOut;
        return outcome;
    }
    TransferOutcome done = job->takeOutcome();
    if (done.headerText.empty()) {
        outcome.failure = std::move(done.failure);
        return outcome;
    }
    outcome.end = PostEnd::Response;
    outcome.status = statusOfHeader(done.headerText);
    outcome.body = std::move(done.body);
    return outcome;
}

int statusOfHeader(std::string_view headerText)
{
    const std::size_t space = headerText.find(' ');
    if (!headerText.starts_with("HTTP/") || space == std::string_view::npos)
        return 0;
    const std::string_view rest = headerText.substr(space + 1);
    int code = 0;
    const auto [end, error] =
        std::from_chars(rest.data(), rest.data() + std::min<std::size_t>(rest.size(), 3), code);
    return error == std::errc() && end == rest.data() + 3 ? code : 0;
}

} // namespace tavrin::net
