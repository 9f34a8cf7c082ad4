// Fetching a URL under a time limit: the way the submission workers and the command line ask.
//
// New code describes the request as a FetchRequest and calls fetchUntil (a deadline of its
// own), runTimedFetch (a limit in seconds from now) or PendingFetch (two requests in flight from
// one thread); each gives a FetchOutcome that says how the fetch ended. The positional
// timedFetch at the end is an adapter over runTimedFetch for its older callers.
//
// The request is moved to the network thread and the outcome moved back: pass an rvalue (or a
// request you no longer need) to spare the one copy of the request, and the body handed out is
// the buffer the transfer filled, never a copy. The caller's thread only waits; the deadline and
// the stop are kept to the millisecond there, whatever the transfer is doing
// (network_thread.h).
#pragma once

#include "net/fetch_request.h"
#include "net/http_transfer.h"

#include <memory>
#include <optional>
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
    // A Response whose body came whole: not cut at the cap, nor by the connection ending before
    // the length the response announced (the bytes that did come still count as its body).
    bool bodyComplete = false;
    std::string failure; // curl's reason for NoResponse, for people reading a diagnosis
    // NoResponse because the connection was reset or closed before any response came.
    bool closedBeforeResponse = false;
    // Through a proxy: its part in how the request ended, and whether it answered for the
    // request at all (http_transfer.h). A Response may still carry trouble: a proxy's own 407.
    ProxyTrouble proxyTrouble = ProxyTrouble::None;
    bool proxyAnswered = false;
    // How far the transfer had got, also when the wait ended first (TimedOut, Stopped).
    FetchProgress reached;
    // Where the last request of the redirect chain went (Response and NoResponse).
    Text finalUrl;
};

class TransferJob;

// A fetch under way: started at once, waited for later, so that a caller can have two requests
// in flight from one thread. Letting go of it before its outcome was taken cancels the transfer.
class PendingFetch
{
public:
    // Hands `request` to the network thread (moved there; an lvalue is copied once); the fetch
    // ends at `deadline` at the latest. A method other than GET and POST sends nothing, and
    // wait() then says Refused.
    PendingFetch(FetchRequest request, Deadline deadline);
    // Waits for a job already handed to the network thread (startFetch in transfer_job.h); a
    // null job is a refused request.
    PendingFetch(std::shared_ptr<TransferJob> job, Deadline deadline);
    ~PendingFetch();
    PendingFetch(const PendingFetch&) = delete;
    PendingFetch& operator=(const PendingFetch&) = delete;

    // Waits until the outcome is there, the deadline passes or `stop` is requested, and gives
    // the outcome (TimedOut or Stopped in the last two cases: nothing the transfer brings later
    // is handed out). Call once.
    [[nodiscard]] FetchOutcome wait(const std::stop_token& stop);
    // The same, but a wait that reaches `until` before the deadline gives nothing and the fetch
    // goes on, to be waited for again. Once an outcome was given, call no more.
    [[nodiscard]] std::optional<FetchOutcome> waitUntil(Deadline until, const std::stop_token& stop);
    // How far the fetch has got so far.
    [[nodiscard]] FetchProgress progress() const;

private:
    std::shared_ptr<TransferJob> job_;
    Deadline deadline_;
};

// Performs `request` and waits for it until `deadline` or until `stop` is requested, as
// PendingFetch does. Never starts a thread.
[[nodiscard]] FetchOutcome fetchUntil(FetchRequest request, Deadline deadline,
                                      const std::stop_token& stop = {});

// The deadline `timeLimitSeconds` (0 or less: 90) from now.
[[nodiscard]] Deadline deadlineIn(int timeLimitSeconds);

// Performs `request` and waits for it at most `timeLimitSeconds` (0 or less: 90) counted from
// this call, or until `stop` is requested. At the limit or the stop it returns at once with an
// empty header text and body; the transfer is cancelled and whatever it brings later is never
// handed out. Never starts a thread.
[[nodiscard]] FetchOutcome runTimedFetch(FetchRequest request, int timeLimitSeconds = 0,
                                         const std::stop_token& stop = {});

// The older, positional form of runTimedFetch; new code builds a FetchRequest instead.
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
                                     const std::stop_token& stop = {});

} // namespace tavrin::net
