// IndexNow: telling the search engines that share the protocol which URLs of a site changed, in
// one POST of a JSON document to an endpoint. The key proves the site is the sender's: the site
// serves it as https://HOST/KEY.txt.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavrin::net {

// The shared endpoint; it passes submissions on to every engine of the protocol.
inline constexpr std::string_view kIndexNowEndpoint = "https://api.indexnow.org/indexnow";
inline constexpr std::string_view kIndexNowContentType = "application/json; charset=utf-8";

// A key is 8 to 128 characters: letters a-z and A-Z, digits and dashes.
[[nodiscard]] bool isIndexNowKey(std::string_view key);

// {"host": HOST, "key": KEY, "urlList": [URL, ...]} (UTF-8).
[[nodiscard]] std::string indexNowBody(std::string_view host, std::string_view key,
                                       const std::vector<std::string>& urls);

// 200 (submitted) and 202 (received, the key still to be checked) are success; every other
// status is a refusal (400 bad request, 403 key not valid, 422 URLs not of the host or not
// matching the key, 429 too many requests).
[[nodiscard]] constexpr bool indexNowAccepted(int status) noexcept
{
    return status == 200 || status == 202;
}

} // namespace tavrin::net
