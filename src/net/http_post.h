// Posting a document to a service under a time limit, on the network thread (network_thread.h),
// the way the ping command tells services about a site.
#pragma once

#include "net/http_transfer.h"
#include "net/post_request.h"

#include <memory>
#include <stop_token>
#include <string>

namespace tavrin::net {

// How a post ended.
enum class PostEnd
{
    Response,   // a response arrived (of any status)
    NoResponse, // the request was made but no response came (look-up, refused, TLS ...)
    TimedOut,   // the deadline passed first
    Stopped,    // the caller asked to stop first
};

struct PostOutcome
{
    PostEnd end = PostEnd::NoResponse;
    // The status code of the final response (after redirects); 0 unless end is Response.
    int status = 0;
    // The response body, cut at 8 MiB; empty unless end is Response.
    std::string body;
    // curl's reason for NoResponse, for people reading a diagnosis.
    std::string failure;
};

class TransferJob;

// A post under way: started at once and waited for later, so that one thread can have a post
// to every service in flight together. Letting go of it before its outcome was taken cancels
// the transfer.
class PendingPost
{
public:
    PendingPost(PostRequest request, Deadline deadline);
    ~PendingPost();
    PendingPost(const PendingPost&) = delete;
    PendingPost& operator=(const PendingPost&) = delete;
    PendingPost(PendingPost&&) noexcept;
    PendingPost& operator=(PendingPost&&) noexcept;

    // Waits until the outcome is there, the deadline passes or `stop` is requested (TimedOut or
    // Stopped then: nothing the transfer brings later is handed out). Call once.
    [[nodiscard]] PostOutcome wait(const std::stop_token& stop = {});

private:
    std::shared_ptr<TransferJob> job_;
    Deadline deadline_;
};

// The status code of a header text's status line ("HTTP/1.1 202 Accepted" gives 202); 0 when
// it has none.
[[nodiscard]] int statusOfHeader(std::string_view headerText);

} // namespace tavrin::net
