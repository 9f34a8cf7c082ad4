// FetchRequest: one request as callers describe it.
//
// It travels from the caller to the network thread by move (PendingFetch, fetchUntil,
// runTimedFetch), so its body is never copied on the way; the byte record of fetch_records.h
// is only an adapter for callers that hand requests over as bytes.
#pragma once

#include "text/gbk_text.h"

#include <string>

namespace tavrin::net {

using text::Text;

// Empty texts mean "not given".
struct FetchRequest
{
    Text url;
    Text method;   // "GET", "POST" (any letter case) or empty for GET
    Text proxy;    // an HTTP proxy as host:port; blank for a direct connection
    Text userName; // handed to the server; blank for none
    Text password;
    Text referer;     // value of the Referer line; empty for none
    Text accept;      // value of the Accept line; empty for "*/*"
    std::string body; // sent with POST only

    friend bool operator==(const FetchRequest&, const FetchRequest&) = default;
};

} // namespace tavrin::net
