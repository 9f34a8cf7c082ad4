// A fetch request for a URL, with the method when one is given; everything else left out.
#pragma once

#include "net/fetch_records.h"

#include <string>

namespace tavrin::testing_support {

[[nodiscard]] inline net::FetchRequest requestFor(std::string url, std::string method = {})
{
    net::FetchRequest request;
    request.url = std::move(url);
    request.method = std::move(method);
    return request;
}

} // namespace tavrin::testing_support
