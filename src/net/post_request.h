// PostRequest: a POST of a document to a service (a blog ping, an IndexNow submission), as
// opposed to the query fetches of a submission pass (fetch_request.h), whose header lines
// imitate a browser. A post says what it is: its own user agent and Content-Type, and nothing
// else a browser would send.
#pragma once

#include "text/gbk_text.h"

#include <string>
#include <string_view>

namespace tavrin::net {

inline constexpr std::string_view kPostUserAgent = "Tavrin/2.0";

struct PostRequest
{
    // An http or https address, as it goes to curl.
    text::Text url;
    // The value of the Content-Type line ("text/xml", "application/json; charset=utf-8").
    std::string contentType;
    std::string body;

    friend bool operator==(const PostRequest&, const PostRequest&) = default;
};

} // namespace tavrin::net
