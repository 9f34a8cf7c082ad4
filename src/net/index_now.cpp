#include "net/index_now.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace tavrin::net {

bool isIndexNowKey(std::string_view key)
{
    constexpr std::size_t kShortest = 8;
    constexpr std::size_t kLongest = 128;
    return key.size() >= kShortest && key.size() <= kLongest &&
           std::all_of(key.begin(), key.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
           });
}

std::string indexNowBody(std::string_view host, std::string_view key, const std::vector<std::string>& urls)
{
    nlohmann::ordered_json body;
    body["host"] = host;
    body["key"] = key;
    body["urlList"] = urls;
    // Text that is not UTF-8 goes out with U+FFFD in its place rather than failing the call.
    return body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace tavrin::net
