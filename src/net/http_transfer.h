// One HTTP exchange on a curl easy handle: how the handle is set up for a request, and how the
// final response's header text and body are collected from it.
//
// A transfer is built by the thread that asks for it and, once handed over, used only by the
// network thread (its callbacks run there); it is never used by two threads at once. The
// request is moved in when the transfer is built, and the body buffer that the callbacks fill
// is moved out by finish(): neither is copied between the caller and the wire.
#pragma once

#include "net/curl_handles.h"
#include "net/fetch_request.h"
#include "net/post_request.h"
#include "net/proxy_address.h"
#include "net/proxy_trouble.h"
#include "net/request_headers.h"

#include <curl/curl.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tavrin::net {

// Bodies beyond these sizes are cut: the transfer stops and the bytes received so far are the
// body. With 50 workers (and later hundreds) facing huge or endless bodies, memory stays
// bounded by workers x cap. The fetch cap is far above any query page; the file cap leaves room
// for an update download.
inline constexpr std::size_t kFetchBodyCap = 8u << 20;    // 8 MiB
inline constexpr std::size_t kGetFileBodyCap = 64u << 20; // 64 MiB
// One response's header block beyond this is hostile or broken; the transfer is abandoned as if
// no response had come. It is not the old 1024-byte buffer: real header blocks of any length
// up to here come back whole.
inline constexpr std::size_t kHeaderCap = 1u << 20; // 1 MiB
// Redirects are followed up to this many, as a browser would; more count as no response.
inline constexpr long kMaxRedirects = 10;

using Deadline = std::chrono::steady_clock::time_point;

// How far a transfer had got.
struct FetchProgress
{
    // A connection to the first hop (the proxy, or the server itself) was open.
    bool connected = false;
    // Every handshake was done (a proxy's tunnel and TLS included) and a request went out.
    bool requestSent = false;
    // Bytes of a response arrived.
    bool answerBegun = false;
};

// The same, written by the network thread as the transfer goes and read by the waiting caller
// at any time (a proxy's patience is judged by it). Each flag only ever turns true.
struct TransferProgress
{
    std::atomic<bool> connected{false};
    std::atomic<bool> requestSent{false};
    std::atomic<bool> answerBegun{false};

    [[nodiscard]] FetchProgress snapshot() const
    {
        return {connected.load(std::memory_order_acquire), requestSent.load(std::memory_order_acquire),
                answerBegun.load(std::memory_order_acquire)};
    }
};

// How a transfer ended, as the network thread hands it back. It is passed on by move only, from
// finish() through the job to the waiting caller, so the body handed out is the very buffer the
// transfer filled.
struct TransferOutcome
{
    // The final response's header text (status line first, CR LF lines, the empty line at the
    // end); empty when no complete response arrived, and the body is then empty too.
    Text headerText;
    std::string body;
    bool bodyCapped = false;
    // The body arrived whole: the transfer ended cleanly, not cut at the cap or cut short by the
    // connection. A body that is not complete can still be a result (see above).
    bool bodyComplete = false;
    // Why no response arrived (curl's own words), for diagnostics only.
    std::string failure;
    // No response arrived because the connection was reset or closed before a byte of one came:
    // a server restarting or shedding load, worth asking again.
    bool closedBeforeResponse = false;
    // The proxy's part in how the request ended (proxy_trouble.h); None when it went direct.
    ProxyTrouble proxyTrouble = ProxyTrouble::None;
    // The proxy answered for this request, whether or not the service did: a response came
    // through it, it opened its tunnel, or it replied that it could not reach the service.
    bool proxyAnswered = false;
    // How far the transfer had got when it ended.
    FetchProgress reached;
    // The address of the last request of the redirect chain, as curl reports it.
    Text finalUrl;
};

class HttpTransfer
{
public:
    // A fetch of `request` (moved in; POST bodies are sent from it in place), which must have a
    // method that parseMethod accepts. With a deadline,
    // curl is also told to give up shortly after it, so the network thread never keeps a
    // transfer whose caller is gone, even if the cancellation were missed.
    [[nodiscard]] static std::unique_ptr<HttpTransfer> forFetch(FetchRequest request, FetchMethod method,
                                                                std::optional<Deadline> deadline);
    // The plain GET of a whole file used for updates: its own user agent, HTTP/1.0 and
    // "Accept: */*", always direct.
    [[nodiscard]] static std::unique_ptr<HttpTransfer> forGetFile(Text url, Deadline deadline);
    // A POST of a document to a service: its own user agent, the request's Content-Type and
    // "Accept: */*", always direct. A redirect is followed with the same POST (a service that
    // moved to https says so with a 301). The URL goes to curl as it is.
    [[nodiscard]] static std::unique_ptr<HttpTransfer> forPost(PostRequest request, Deadline deadline);

    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;

    // The transfer stops at the next callback once this flag is set (it belongs to the job).
    void setCancelFlag(const std::atomic<bool>* cancelled) noexcept { cancelled_ = cancelled; }
    // Where the transfer notes how far it has got (it belongs to the job, which outlives it).
    void setProgress(TransferProgress* progress) noexcept { progress_ = progress; }

    // Sets up a fresh (or freshly reset) easy handle. False when it cannot be set up; the
    // transfer then ends as no response.
    [[nodiscard]] bool setUp(CURL* easy);

    // The outcome once curl reports the transfer done with `code`. Moves the header text and the
    // body buffer out; the transfer holds neither afterwards.
    [[nodiscard]] TransferOutcome finish(CURLcode code);

private:
    enum class Kind
    {
        Fetch,
        GetFile,
        Post,
    };

    HttpTransfer(Kind kind, FetchRequest request, FetchMethod method, std::optional<Deadline> deadline);

    [[nodiscard]] bool buildHeaderList();
    void setUpFetch(CURL* easy);
    void setUpGetFile(CURL* easy);
    void setUpPost(CURL* easy);

    static size_t onHeader(char* data, size_t size, size_t count, void* self);
    static size_t onBody(char* data, size_t size, size_t count, void* self);
    static int onRequestStart(void* self, char*, char*, int, int);
    static int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static curl_socket_t onOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);

    void startHeaderBlock();
    // Notes that the connection to the proxy is open once one of the sockets opened for it is.
    void lookForProxyConnection();
    // The proxy's part in a transfer through one that ended with `code`.
    [[nodiscard]] ProxyJudgement judgeProxy(CURLcode code, bool responseComplete) const;

    Kind kind_;
    FetchRequest request_;
    FetchMethod method_;
    std::optional<Deadline> deadline_;
    Text url_; // what curl is given
    // The proxy a fetch goes through (none when it goes direct), and whether through a tunnel.
    std::optional<ProxyAddress> proxy_;
    bool tunnel_ = false;
    // Post only: the value of its Content-Type line.
    std::string postContentType_;
    std::size_t bodyCap_;
    const std::atomic<bool>* cancelled_ = nullptr;
    TransferProgress* progress_ = nullptr;
    CURL* easy_ = nullptr;
    // Sockets opened for the connection to the proxy; only ever looked at, never closed here.
    std::vector<curl_socket_t> proxySockets_;
    SlistPtr headerList_;
    std::shared_ptr<const std::string> trustedPem_;

    // The header block of the response being received; complete once its empty line came.
    Text headerText_;
    bool headerComplete_ = false;
    bool headerTooLong_ = false;
    // Some header bytes of a response arrived (the current request's, not an earlier one's).
    bool responseBegun_ = false;
    // A whole response header came, of this request or an earlier one of its redirect chain.
    bool anyResponse_ = false;
    // A request of the chain went out (the connection and every handshake were done).
    bool requestSent_ = false;
    std::size_t announcedLength_ = 0; // Content-Length of the block being received
    std::string body_;
    bool bodyCapped_ = false;
    std::array<char, CURL_ERROR_SIZE> errorText_{};
};

} // namespace tavrin::net
