// timedFetch: the way the submission workers request a URL, under a time limit.
#pragma once

#include "net/fetch_records.h"
#include "net/http_transfer.h"

#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

namespace tavrin::net {

inline constexpr int kDefaultTimeLimitSeconds = 90;

// How a timed fetch ended.
enum class FetchEnd
{
    Response,   // a response arrived (of any status); header text and body are in the outcome
    NoResponse, // the request was performed but no response came (look-up, refused, TLS ...)
    Refused,    // the request was not performed (a method other than GET and POST)
    TimedOut,   // the time limit passed first
    Stopped,    // the caller asked to stop first
};

struct FetchOutcome
{
    FetchEnd end = FetchEnd::Refused;
    Text headerText;  // empty unless end is Response
    std::string body; // empty unless end is Response
    bool bodyCapped = false;
    std::string failure; // curl's reason for NoResponse, for people reading a diagnosis
    // NoResponse because the connection was reset or closed before any response came.
    bool closedBeforeResponse = false;
    // Where the last request of the redirect chain went (Response and NoResponse).
    Text finalUrl;
};

class TransferJob;

// A fetch under way: started at once, waited for later, so that a caller can have two requests
// in flight from one thread. Letting go of it before its outcome was taken cancels the transfer.
class PendingFetch
{
public:
    // Hands `request` to the network thread; the fetch ends at `deadline` at the latest.
    PendingFetch(const FetchRequest& request, Deadline deadline);
    ~PendingFetch();
    PendingFetch(const PendingFetch&) = delete;
    PendingFetch& operator=(const PendingFetch&) = delete;

    // Waits until the outcome is there, the deadline passes or `stop` is requested, and gives
    // the outcome (TimedOut or Stopped in the last two cases: nothing the transfer brings later
    // is handed out). Call once.
    [[nodiscard]] FetchOutcome wait(const std::stop_token& stop);

private:
    std::shared_ptr<TransferJob> job_;
    Deadline deadline_;
};

// Performs `request` and waits for it until `deadline` or until `stop` is requested, as
// PendingFetch does. Never starts a thread.
[[nodiscard]] FetchOutcome fetchUntil(const FetchRequest& request, Deadline deadline,
                                      const std::stop_token& stop = {});

// The deadline `timeLimitSeconds` (0 or less: 90) from now.
[[nodiscard]] Deadline deadlineIn(int timeLimitSeconds);

// Performs `request` and waits for it at most `timeLimitSeconds` (0 or less: 90) counted from
// this call, or until `stop` is requested. At the limit or the stop it returns at once with an
// empty header text and body; the transfer is cancelled and whatever it brings later is never
// handed out. Never starts a thread.
[[nodiscard]] FetchOutcome runTimedFetch(const FetchRequest& request, int timeLimitSeconds = 0,
                                         std::stop_token stop = {});

// The response body of `url`, empty when the request failed, timed out or was stopped, or the
// server sent no body. Every parameter after the URL may be left out: method (GET), proxy
// (direct), user name, password, referer (none), body (none; sent with POST only), time limit
// in seconds (0 or left out: 90), header text (receives the raw header text of the final
// response, status line first, CR LF lines, an empty line at the end; empty when no response
// came within the limit) and accept (empty: "*/*"). `stop` ends the wait early, as the limit
// does.
[[nodiscard]] std::string timedFetch(std::string_view url, std::string_view method = {},
                                     std::string_view proxy = {}, std::string_view userName = {},
                                     std::string_view password = {}, std::string_view referer = {},
                                     std::string_view body = {}, int timeLimitSeconds = 0,
                                     Text* headerText = nullptr, std::string_view accept = {},
                                     std::stop_token stop = {});

} // namespace tavrin::net
