// --proxy as fetch and submit read it.
#pragma once

#include "submit/proxy_pool.h"

#include <iosfwd>
#include <memory>
#include <string>

namespace tavrin::cli {

// True when `proxy` (UTF-8, as typed) is empty or names a proxy the requests can use;
// otherwise says why on `err`.
[[nodiscard]] bool proxyOptionUsable(const std::string& proxy, std::ostream& err);

// The proxies of a --proxies file: one address a line, blank lines and lines starting with "#"
// left out. Nothing, with the reason on `err`, for a file that cannot be read, holds no proxy, or
// has a line that is no proxy address (named with its number).
[[nodiscard]] std::shared_ptr<submit::ProxyPool> readProxyList(const std::string& file, std::ostream& err);

} // namespace tavrin::cli
