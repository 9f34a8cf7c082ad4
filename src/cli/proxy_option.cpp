#include "cli/proxy_option.h"

#include "cli/cli_texts.h"
#include "net/proxy_address.h"

#include <ostream>

namespace tavrin::cli {

bool proxyOptionUsable(const std::string& proxy, std::ostream& err)
{
    if (proxy.empty() || net::parseProxyAddress(proxy))
        return true;
    err << texts::kBadProxy << proxy << texts::kProxySchemes << '\n';
    return false;
}

} // namespace tavrin::cli
