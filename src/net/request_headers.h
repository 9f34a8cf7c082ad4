// What a request says about itself: the user agents, the method, and the fixed set of header
// lines in the order they are sent.
#pragma once

#include "net/fetch_request.h"

#include <optional>
#include <string_view>

namespace tavrin::net {

// Many query services answer only browsers they know, so the program presents itself as one.
inline constexpr std::string_view kFetchUserAgent =
    "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; QQDownload 1.7; .NET CLR 2.0.50727)";
inline constexpr std::string_view kGetFileUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
inline constexpr std::string_view kGetFileAccept = "Accept: */*";

enum class FetchMethod
{
    Get,
    Post,
};

// GET for an empty method or "GET", POST for "POST", in any letter case of ASCII; nothing for
// every other method, which is refused.
[[nodiscard]] std::optional<FetchMethod> parseMethod(std::string_view method);

// True when something is left of the field after removing every ASCII space and every
// full-width space (GBK 0xA1 0xA1): a proxy, user name or password field made of blanks only
// counts as not given.
[[nodiscard]] bool countsAsPresent(std::string_view field);

// The field without the ASCII and full-width spaces at its ends.
[[nodiscard]] Text trimSpaces(std::string_view field);

// The header lines of a fetch, each ending in CR LF, in the order they go out:
//   Accept (the accept field, or */* when it is empty), Referer (when the field is not empty),
//   Accept-Language: zh-cn, UA-CPU: x86, Connection: Keep-Alive, and for a POST with a body
//   Content-Type: application/x-www-form-urlencoded (unless a "Content-Type: " line is already
//   there, in any letter case, e.g. carried in by the accept field) and Content-Length.
// The accept and referer tests are for plain emptiness: blanks count as a value.
[[nodiscard]] Text fetchHeaderBlock(const FetchRequest& request, FetchMethod method);

} // namespace tavrin::net
