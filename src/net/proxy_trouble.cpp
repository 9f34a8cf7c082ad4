#include "net/proxy_trouble.h"

namespace tavrin::net {

namespace {

ProxyJudgement judgeSocksError(CURLproxycode error)
{
    switch (error) {
    // The proxy works and tried: it could not reach the service. SOCKS4 has one answer for every
    // failure ("request rejected or failed"), a refused or unreachable service included.
    case CURLPX_REPLY_CONNECTION_REFUSED:
    case CURLPX_REPLY_HOST_UNREACHABLE:
    case CURLPX_REPLY_NETWORK_UNREACHABLE:
    case CURLPX_REPLY_TTL_EXPIRED:
    case CURLPX_REQUEST_FAILED:
        return {ProxyTrouble::None, true};
    // The service's name could not be sent (resolved here, or too long): the proxy was not asked.
    case CURLPX_RESOLVE_HOST:
    case CURLPX_LONG_HOSTNAME:
        return {ProxyTrouble::None, false};
    case CURLPX_NO_AUTH:
    case CURLPX_USER_REJECTED:
    case CURLPX_LONG_USER:
    case CURLPX_LONG_PASSWD:
    case CURLPX_IDENTD:
    case CURLPX_IDENTD_DIFFER:
    case CURLPX_GSSAPI:
    case CURLPX_GSSAPI_PERMSG:
    case CURLPX_GSSAPI_PROTECTION:
        return {ProxyTrouble::AuthRequired, false};
    // The proxy itself says no: it failed, or it will not connect this client anywhere.
    case CURLPX_REPLY_GENERAL_SERVER_FAILURE:
    case CURLPX_REPLY_NOT_ALLOWED:
    case CURLPX_REPLY_COMMAND_NOT_SUPPORTED:
    case CURLPX_REPLY_ADDRESS_TYPE_NOT_SUPPORTED:
        return {ProxyTrouble::Refused, false};
    default:
        return {ProxyTrouble::NotAProxy, false};
    }
}

bool isTlsFailure(CURLcode code)
{
    switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return true;
    default:
        return false;
    }
}

// A CONNECT answer other than 2xx: the proxy could not reach the service (502, 503, 504, the
// gateway statuses), asks for credentials (407) or will not open the tunnel.
ProxyJudgement judgeConnectRefusal(long connectCode)
{
    if (connectCode == 407)
        return {ProxyTrouble::AuthRequired, false};
    if (connectCode == 502 || connectCode == 503 || connectCode == 504)
        return {ProxyTrouble::None, true};
    return {ProxyTrouble::Refused, false};
}

ProxyJudgement judgeLastRequest(const ProxiedEnd& end)
{
    if (end.responseComplete) {
        // A response came through the proxy; a forwarding proxy's 407 is its own, not the
        // service's (one through a tunnel is the service's, and means nothing to the proxy).
        if (!end.tunnel && end.status == 407)
            return {ProxyTrouble::AuthRequired, false};
        return {ProxyTrouble::None, true};
    }
    if (end.code == CURLE_COULDNT_RESOLVE_PROXY)
        return {ProxyTrouble::Unresolved, false};
    if (end.code == CURLE_PROXY)
        return judgeSocksError(end.proxyError);
    if (end.connectCode > 0 && (end.connectCode < 200 || end.connectCode >= 300))
        return judgeConnectRefusal(end.connectCode);
    if (end.connectCode >= 200)
        return {ProxyTrouble::None, true}; // the tunnel was open: what failed came through it
    // Before the request, only the connection to the proxy makes curl report this (a SOCKS
    // handshake's failures are CURLE_PROXY, a CONNECT's have a code).
    if (end.code == CURLE_COULDNT_CONNECT && !end.requestSent)
        return {ProxyTrouble::Refused, false};
    if (end.tunnel) {
        // The request went out through the tunnel, or a SOCKS handshake (whose failures were
        // caught above) was done and the TLS with the service failed inside it: the service's.
        if (end.requestSent || end.socks)
            return {ProxyTrouble::None, true};
        // CONNECT without an answer that reads as one: garbage, or the proxy hung up.
        return {ProxyTrouble::NotAProxy, false};
    }
    if (!end.requestSent)
        return isTlsFailure(end.code) ? ProxyJudgement{ProxyTrouble::NotAProxy, false} : ProxyJudgement{};
    switch (end.code) {
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL: // "HTTP/0.9": bytes that are no status line
        return {ProxyTrouble::Garbled, false};
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
        return {ProxyTrouble::Closed, false};
    default:
        return {};
    }
}

} // namespace

ProxyJudgement judgeProxiedEnd(const ProxiedEnd& end)
{
    const ProxyJudgement last = judgeLastRequest(end);
    // A proxy that carried an earlier response of the redirect chain works: a later request
    // that it closed or garbled is the service's doing.
    if (end.answeredBefore && (last.trouble == ProxyTrouble::None || last.trouble == ProxyTrouble::Closed ||
                               last.trouble == ProxyTrouble::Garbled))
        return {ProxyTrouble::None, true};
    return last;
}

} // namespace tavrin::net
