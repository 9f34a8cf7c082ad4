// --proxy as fetch and submit read it.
#pragma once

#include <iosfwd>
#include <string>

namespace tavrin::cli {

// True when `proxy` (UTF-8, as typed) is empty or names a proxy the requests can use;
// otherwise says why on `err`.
[[nodiscard]] bool proxyOptionUsable(const std::string& proxy, std::ostream& err);

} // namespace tavrin::cli
