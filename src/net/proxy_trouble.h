// What a proxy had to do with the end of a request, told from curl's own report: its error code,
// the proxy's error (CURLINFO_PROXY_ERROR), the answer to CONNECT (CURLINFO_HTTP_CONNECTCODE), and
// how far the transfer had got (the request sent, a response begun).
//
// A proxy's own failures (refused, not found, a broken handshake, a demand for credentials) are
// told apart from the service's (slow, reset, unreachable, an error page), which say nothing about
// the proxy. Two cases cannot be told from one request: a forwarding HTTP proxy that closes the
// connection, or answers something that is no HTTP, may be relaying what the service did. Those
// are reported as such (Closed, Garbled) and judged by the proxy's record (submit/proxied_fetch.h).
#pragma once

#include <curl/curl.h>

namespace tavrin::net {

enum class ProxyTrouble
{
    None,         // no proxy, or the proxy did its part: whatever went wrong is the service's
    Unresolved,   // the proxy's host name was not found
    Refused,      // the proxy refused the connection, or to connect anywhere for us
    TimedOut,     // no connection to the proxy within its patience (judged by the waiting side)
    NotAProxy,    // no proxy's answer: garbage, a broken SOCKS, CONNECT or TLS handshake
    AuthRequired, // the proxy asks for credentials, or refused those given (407, SOCKS)
    Closed,       // a forwarding proxy closed the connection before any answer
    Garbled,      // a forwarding proxy answered something that is no HTTP
    // Judged by the waiting side, when nothing came within the proxy's patience:
    NoAnswer, // the proxy took the connection but answers nothing, not even a request for itself
    Silent,   // the proxy answers for itself, but nothing shows that it carries requests
};

// How a transfer through a proxy had got on when curl ended it with a code.
struct ProxiedEnd
{
    CURLcode code = CURLE_OK;
    // The request went through a tunnel (SOCKS, or CONNECT) rather than being forwarded; `socks`:
    // a SOCKS one.
    bool tunnel = false;
    bool socks = false;
    // The connection was set up (tunnel and TLS included) and a request went out.
    bool requestSent = false;
    // A whole response header block arrived for the last request.
    bool responseComplete = false;
    // A whole response came through the proxy earlier in the redirect chain.
    bool answeredBefore = false;
    // The status of the last response (CURLINFO_RESPONSE_CODE), 0 for none.
    long status = 0;
    // The proxy's answer to CONNECT (CURLINFO_HTTP_CONNECTCODE), 0 for none.
    long connectCode = 0;
    // The SOCKS proxy's error (CURLINFO_PROXY_ERROR), CURLPX_OK for none.
    CURLproxycode proxyError = CURLPX_OK;
};

struct ProxyJudgement
{
    ProxyTrouble trouble = ProxyTrouble::None;
    // The proxy answered for this request although the service may not have: a response came
    // through it, it opened its tunnel, or it replied that it could not reach the service.
    bool proxyAnswered = false;
};

// The proxy's part in a request that ended as `end` says.
[[nodiscard]] ProxyJudgement judgeProxiedEnd(const ProxiedEnd& end);

} // namespace tavrin::net
