// --proxy and --proxies as fetch and submit read them: every address read strictly
// (proxy_address.h) before anything is sent, and said back without its password.
#pragma once

#include "submit/proxy_pool.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

namespace tavrin::cli {

// True when `proxy` (UTF-8, as typed) is empty or names a proxy the requests can use;
// otherwise says why on `err`.
[[nodiscard]] bool proxyOptionUsable(const std::string& proxy, std::ostream& err);

// The proxies of a --proxies file: one address a line, blank lines and lines starting with "#"
// left out. Nothing, with the reason on `err`, for a file that cannot be read, holds no proxy, or
// has a line that is no proxy address (named with its number and why).
[[nodiscard]] std::shared_ptr<submit::ProxyPool> readProxyList(const std::string& file, std::ostream& err);

// Why a proxy was set aside, in a few words ("it refused the connection").
[[nodiscard]] std::string setAsideReason(net::ProxyTrouble reason);

} // namespace tavrin::cli
