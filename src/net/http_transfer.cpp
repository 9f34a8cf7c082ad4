#include "net/http_transfer.h"

#include "net/cookie_share.h"
#include "net/proxy_address.h"
#include "net/tls_trust.h"
#include "net/transfer_socket.h"
#include "net/url_parts.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace tavrin::net {

namespace {

// The kind of proxy for libcurl; the scheme in the address says the same, and takes precedence.
curl_proxytype curlProxyType(ProxyKind kind)
{
    switch (kind) {
    case ProxyKind::Bare:
    case ProxyKind::Http:
        return CURLPROXY_HTTP;
    case ProxyKind::Https:
        return CURLPROXY_HTTPS;
    case ProxyKind::Socks4:
        return CURLPROXY_SOCKS4;
    case ProxyKind::Socks5:
        return CURLPROXY_SOCKS5;
    case ProxyKind::Socks5Hostname:
        return CURLPROXY_SOCKS5_HOSTNAME;
    }
    return CURLPROXY_HTTP;
}

constexpr std::string_view kStatusLinePrefix = "HTTP/";
constexpr std::string_view kContentLength = "Content-Length:";
// Only the web protocols: a redirect must not lead a request to file:// or anything else.
constexpr const char* kAllowedProtocols = "http,https";
// How long curl may run past the caller's deadline before it gives up on its own.
constexpr std::chrono::milliseconds kDeadlineMargin{1000};

// Errors that end a transfer while the body of a fully received response is coming in: the
// response counts, with the bytes received so far.
bool endsDuringBody(CURLcode code, bool bodyCapped)
{
    switch (code) {
    case CURLE_OK:
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_BAD_CONTENT_ENCODING:
        return true;
    case CURLE_WRITE_ERROR:
        return bodyCapped;
    default:
        return false;
    }
}

bool isSocks(ProxyKind kind)
{
    return kind == ProxyKind::Socks4 || kind == ProxyKind::Socks5 || kind == ProxyKind::Socks5Hostname;
}

std::string_view withoutLineEnd(std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    return line;
}

std::size_t parseLength(std::string_view value)
{
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    std::size_t length = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
    return error == std::errc() ? length : 0;
}

} // namespace

std::unique_ptr<HttpTransfer> HttpTransfer::forFetch(FetchRequest request, FetchMethod method,
                                                     std::optional<Deadline> deadline)
{
    return std::unique_ptr<HttpTransfer>(new HttpTransfer(Kind::Fetch, std::move(request), method, deadline));
}

std::unique_ptr<HttpTransfer> HttpTransfer::forPost(PostRequest request, Deadline deadline)
{
    FetchRequest fetch;
    fetch.url = std::move(request.url);
    fetch.body = std::move(request.body);
    auto transfer = std::unique_ptr<HttpTransfer>(
        new HttpTransfer(Kind::Post, std::move(fetch), FetchMethod::Post, deadline));
    transfer->postContentType_ = std::move(request.contentType);
    return transfer;
}

std::unique_ptr<HttpTransfer> HttpTransfer::forGetFile(Text url, Deadline deadline)
{
    FetchRequest request;
    request.url = std::move(url);
    return std::unique_ptr<HttpTransfer>(
        new HttpTransfer(Kind::GetFile, std::move(request), FetchMethod::Get, deadline));
}

HttpTransfer::HttpTransfer(Kind kind, FetchRequest request, FetchMethod method,
                           std::optional<Deadline> deadline)
    : kind_(kind)
    , request_(std::move(request))
    , method_(method)
    , deadline_(deadline)
    // A fetch goes to exactly the host, port and path that the URL routines name; the file
    // download and a post hand their address to curl as it is.
    , url_(kind == Kind::Fetch ? requestUrl(request_.url) : request_.url)
    // Only a fetch goes through a proxy, and only one that carries its address (a bare HTTP
    // proxy does not carry https). An empty proxy also keeps curl from taking one from the
    // environment.
    , proxy_(kind == Kind::Fetch && countsAsPresent(request_.proxy) ? parseProxyAddress(request_.proxy)
                                                                    : std::nullopt)
    // A service's reply to a post is a few lines; the fetch cap is plenty.
    , bodyCap_(kind == Kind::GetFile ? kGetFileBodyCap : kFetchBodyCap)
    , trustedPem_(trustedCertificates())
{
    if (proxy_ && !proxy_->carries(request_.url))
        proxy_.reset();
    tunnel_ = proxy_ && proxy_->tunnels(request_.url);
}

bool HttpTransfer::buildHeaderList()
{
    std::vector<Text> lines;
    if (kind_ == Kind::Fetch) {
        // The accept and referer fields may carry further lines of their own; each line goes to
        // curl separately, which puts the same bytes on the wire.
        lines = text::split(fetchHeaderBlock(request_, method_), "\r\n");
        if (method_ == FetchMethod::Post) {
            // Entries ending in ":" remove a header curl would add by itself. No "Expect:
            // 100-continue" pause before a large body, and a POST without a body says nothing
            // about content.
            lines.emplace_back("Expect:");
            if (request_.body.empty()) {
                lines.emplace_back("Content-Type:");
                lines.emplace_back("Content-Length:");
            }
        }
    } else if (kind_ == Kind::Post) {
        lines.emplace_back("Content-Type: " + postContentType_);
        lines.emplace_back(kGetFileAccept);
        lines.emplace_back("Expect:");
    } else {
        lines.emplace_back(kGetFileAccept);
    }
    headerList_.reset();
    for (const Text& line : lines) {
        if (!appendLine(headerList_, line.c_str()))
            return false;
    }
    return true;
}

bool HttpTransfer::setUp(CURL* easy)
{
    easy_ = easy;
    if (!buildHeaderList())
        return false;
    curl_easy_setopt(easy, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // A transfer stopped during a host-name look-up must not make the network thread wait for
    // the resolver thread.
    curl_easy_setopt(easy, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText_.data());
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &HttpTransfer::onOpenSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
    if (CURLSH* share = programShare())
        curl_easy_setopt(easy, CURLOPT_SHARE, share);
    // An empty file name switches the cookie engine on without reading any file; the cookies
    // live in the share.
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, kAllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList_.get());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HttpTransfer::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpTransfer::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &HttpTransfer::onRequestStart);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &HttpTransfer::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    if (trustedPem_) {
        curl_blob blob{const_cast<char*>(trustedPem_->data()), trustedPem_->size(), CURL_BLOB_COPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
    }
    if (deadline_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            *deadline_ - std::chrono::steady_clock::now() + kDeadlineMargin);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max<long long>(left.count(), 1)));
    }
    if (kind_ == Kind::Fetch)
        setUpFetch(easy);
    else if (kind_ == Kind::Post)
        setUpPost(easy);
    else
        setUpGetFile(easy);
    return true;
}

void HttpTransfer::setUpFetch(CURL* easy)
{
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kFetchUserAgent.data());
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // The proxy's kind is in the address given to curl too (proxy_address.h); an empty one means
    // direct.
    const Text proxy = proxy_ ? proxy_->forCurl() : Text();
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYTYPE,
                     static_cast<long>(curlProxyType(proxy_ ? proxy_->kind : ProxyKind::Bare)));
    // A proxy's answer to CONNECT is not the service's response: it never reaches the header
    // text (curl reports it as HTTP_CONNECTCODE).
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (countsAsPresent(request_.userName))
        curl_easy_setopt(easy, CURLOPT_USERNAME, request_.userName.c_str());
    if (countsAsPresent(request_.password))
        curl_easy_setopt(easy, CURLOPT_PASSWORD, request_.password.c_str());
    if (method_ == FetchMethod::Post) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request_.body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request_.body.data());
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
}

void HttpTransfer::setUpGetFile(CURL* easy)
{
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kGetFileUserAgent.data());
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
}

void HttpTransfer::setUpPost(CURL* easy)
{
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kPostUserAgent.data());
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request_.body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request_.body.data());
    // Without this, curl turns the POST into a GET after a 301 or 302, as browsers do.
    curl_easy_setopt(easy, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));
}

void HttpTransfer::startHeaderBlock()
{
    headerText_.clear();
    responseBegun_ = false;
    headerComplete_ = false;
    announcedLength_ = 0;
}

size_t HttpTransfer::onHeader(char* data, size_t size, size_t count, void* self)
{
    auto& transfer = *static_cast<HttpTransfer*>(self);
    const size_t received = size * count;
    const std::string_view line = withoutLineEnd(std::string_view(data, received));
    // Each response of a redirect chain (and any interim 1xx response) starts with its status
    // line; only the last block counts. curl hands over a status line only at the start of a
    // response, so inside a block a line that merely begins with "HTTP/" is an ordinary header
    // line: it must not replace the status line the server sent (a 404 would read as a 200).
    if (transfer.progress_)
        transfer.progress_->answerBegun.store(true, std::memory_order_release);
    const bool blockUnderWay = !transfer.headerText_.empty() && !transfer.headerComplete_;
    if (line.starts_with(kStatusLinePrefix) && !blockUnderWay)
        transfer.startHeaderBlock();
    else if (transfer.headerComplete_)
        return received; // trailer lines after a chunked body are not part of the header text
    transfer.responseBegun_ = true;
    if (line.empty()) {
        if (transfer.headerText_.empty())
            return received;
        transfer.headerText_ += "\r\n";
        transfer.headerComplete_ = true;
        transfer.anyResponse_ = true;
        transfer.body_.reserve(std::min(transfer.announcedLength_, transfer.bodyCap_));
        return received;
    }
    if (transfer.headerText_.size() + line.size() + 2 > kHeaderCap) {
        transfer.headerTooLong_ = true;
        return 0; // stops the transfer
    }
    if (text::startsWithIgnoringAsciiCase(line, kContentLength))
        transfer.announcedLength_ = parseLength(line.substr(kContentLength.size()));
    // Lines are stored with CR LF whatever the server used.
    transfer.headerText_.append(line);
    transfer.headerText_ += "\r\n";
    return received;
}

size_t HttpTransfer::onBody(char* data, size_t size, size_t count, void* self)
{
    auto& transfer = *static_cast<HttpTransfer*>(self);
    const size_t received = size * count;
    const size_t room = transfer.bodyCap_ - transfer.body_.size();
    if (received > room) {
        transfer.body_.append(data, room);
        transfer.bodyCapped_ = true;
        return 0; // stops the transfer; what arrived up to the cap is the body
    }
    transfer.body_.append(data, received);
    return received;
}

int HttpTransfer::onRequestStart(void* self, char*, char*, int, int)
{
    // A request of a redirect chain is going out: nothing received so far belongs to its
    // response, so a failure before that response arrives leaves no header text behind.
    auto& transfer = *static_cast<HttpTransfer*>(self);
    transfer.startHeaderBlock();
    transfer.body_.clear();
    transfer.bodyCapped_ = false;
    transfer.requestSent_ = true;
    if (transfer.progress_) {
        transfer.progress_->connected.store(true, std::memory_order_release);
        transfer.progress_->requestSent.store(true, std::memory_order_release);
    }
    return CURL_PREREQFUNC_OK;
}

int HttpTransfer::onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto& transfer = *static_cast<HttpTransfer*>(self);
    transfer.lookForProxyConnection();
    return transfer.cancelled_ && transfer.cancelled_->load(std::memory_order_relaxed) ? 1 : 0;
}

curl_socket_t HttpTransfer::onOpenSocket(void* self, curlsocktype, curl_sockaddr* address)
{
    // Connections are never inherited: a program started meanwhile (the browser that 打开网址
    // opens) must not hold them open after the transfer has let go of them.
    const curl_socket_t socket = openUninheritedSocket(address->family, address->socktype, address->protocol);
    auto& transfer = *static_cast<HttpTransfer*>(self);
    // Through a proxy, every socket curl opens is one to the proxy.
    if (transfer.proxy_ && socket != CURL_SOCKET_BAD)
        transfer.proxySockets_.push_back(socket);
    return socket;
}

void HttpTransfer::lookForProxyConnection()
{
    // Only while connecting: once the request went out, the connection is known to be open.
    if (!progress_ || proxySockets_.empty() || progress_->connected.load(std::memory_order_relaxed))
        return;
    for (const curl_socket_t socket : proxySockets_) {
        if (connectedToPort(socket, proxy_->port)) {
            progress_->connected.store(true, std::memory_order_release);
            proxySockets_.clear();
            return;
        }
    }
}

ProxyJudgement HttpTransfer::judgeProxy(CURLcode code, bool responseComplete) const
{
    ProxiedEnd end;
    end.code = code;
    end.tunnel = tunnel_;
    end.socks = isSocks(proxy_->kind);
    end.requestSent = requestSent_;
    end.responseComplete = responseComplete;
    end.answeredBefore = anyResponse_;
    long proxyError = CURLPX_OK;
    if (easy_) {
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &end.status);
        curl_easy_getinfo(easy_, CURLINFO_HTTP_CONNECTCODE, &end.connectCode);
        curl_easy_getinfo(easy_, CURLINFO_PROXY_ERROR, &proxyError);
    }
    end.proxyError = static_cast<CURLproxycode>(proxyError);
    return judgeProxiedEnd(end);
}

TransferOutcome HttpTransfer::finish(CURLcode code)
{
    TransferOutcome outcome;
    if (progress_)
        outcome.reached = progress_->snapshot();
    char* effectiveUrl = nullptr;
    if (easy_ && curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &effectiveUrl) == CURLE_OK && effectiveUrl)
        outcome.finalUrl = effectiveUrl;
    const bool responseComplete = headerComplete_ && !headerTooLong_ && endsDuringBody(code, bodyCapped_);
    if (proxy_) {
        const ProxyJudgement judgement = judgeProxy(code, responseComplete);
        outcome.proxyTrouble = judgement.trouble;
        outcome.proxyAnswered = judgement.proxyAnswered;
    }
    if (responseComplete) {
        outcome.headerText = std::move(headerText_);
        outcome.body = std::move(body_);
        outcome.bodyCapped = bodyCapped_;
        outcome.bodyComplete = code == CURLE_OK && !bodyCapped_;
    } else if (headerTooLong_) {
        outcome.failure = "response header longer than 1 MiB";
    } else if (code == CURLE_OK) {
        outcome.failure = "incomplete response header";
    } else {
        outcome.failure = errorText_[0] != '\0' ? std::string(errorText_.data()) : curl_easy_strerror(code);
        outcome.closedBeforeResponse =
            !responseBegun_ &&
            (code == CURLE_GOT_NOTHING || code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR);
    }
    body_ = std::string();
    return outcome;
}

} // namespace tavrin::net
