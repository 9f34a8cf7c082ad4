#include "cli/proxy_option.h"

#include "cli/cli_texts.h"
#include "cli/listed_lines.h"
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

std::shared_ptr<submit::ProxyPool> readProxyList(const std::string& file, std::ostream& err)
{
    const std::optional<std::vector<ListedLine>> entries = readListedLines(file);
    if (!entries) {
        err << texts::kCannotReadProxies << file << '\n';
        return nullptr;
    }
    std::vector<text::Text> proxies;
    for (const ListedLine& entry : *entries) {
        if (!net::parseProxyAddress(entry.text) || entry.text.find_first_of(" \t") != std::string::npos) {
            err << texts::kCannotReadProxies << file << texts::kProxyLine << entry.number << ": "
                << entry.text << texts::kProxySchemes << ")\n";
            return nullptr;
        }
        proxies.push_back(entry.text);
    }
    if (proxies.empty()) {
        err << texts::kCannotReadProxies << file << texts::kNoProxyInList << '\n';
        return nullptr;
    }
    return std::make_shared<submit::ProxyPool>(std::move(proxies));
}

} // namespace tavrin::cli
