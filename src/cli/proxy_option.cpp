#include "cli/proxy_option.h"

#include "base/file_io.h"
#include "cli/cli_texts.h"
#include "net/proxy_address.h"
#include "net/request_headers.h"
#include "text/encoding.h"

#include <ostream>
#include <sstream>

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
    const base::ReadResult read = base::readWholeFile(file, 1 << 20);
    if (read.status != base::ReadResult::Status::Ok) {
        err << texts::kCannotReadProxies << file << '\n';
        return nullptr;
    }
    std::vector<text::Text> proxies;
    std::istringstream lines(read.bytes);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const text::Text address = net::trimSpaces(line);
        if (address.empty() || address.front() == '#')
            continue;
        if (!net::parseProxyAddress(address) || address.find_first_of(" \t\r") != text::Text::npos) {
            err << texts::kCannotReadProxies << file << texts::kProxyLine << number << ": " << address
                << texts::kProxySchemes << ")\n";
            return nullptr;
        }
        proxies.push_back(address);
    }
    if (proxies.empty()) {
        err << texts::kCannotReadProxies << file << texts::kNoProxyInList << '\n';
        return nullptr;
    }
    return std::make_shared<submit::ProxyPool>(std::move(proxies));
}

} // namespace tavrin::cli
