#include "cli/proxy_option.h"

#include "cli/cli_texts.h"
#include "cli/listed_lines.h"
#include "net/proxy_address.h"

#include <ostream>

namespace tavrin::cli {

namespace {

std::string_view problemText(net::ProxyAddressProblem problem)
{
    switch (problem) {
    case net::ProxyAddressProblem::UnknownScheme:
        return texts::kProxySchemes;
    case net::ProxyAddressProblem::NoHost:
    case net::ProxyAddressProblem::None:
        return texts::kProxyNoHost;
    case net::ProxyAddressProblem::BadHost:
        return texts::kProxyBadHost;
    case net::ProxyAddressProblem::NoPort:
        return texts::kProxyNoPort;
    case net::ProxyAddressProblem::BadPort:
        return texts::kProxyBadPort;
    case net::ProxyAddressProblem::BadCredentials:
        return texts::kProxyBadCredentials;
    case net::ProxyAddressProblem::TextAfterPort:
        return texts::kProxyTextAfterPort;
    }
    return texts::kProxyNoHost;
}

} // namespace

bool proxyOptionUsable(const std::string& proxy, std::ostream& err)
{
    if (proxy.empty())
        return true;
    const net::ProxyAddressReading reading = net::readProxyAddress(proxy);
    if (reading.address)
        return true;
    err << texts::kBadProxy << net::maskedProxyText(proxy) << problemText(reading.problem) << '\n';
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
        const net::ProxyAddressReading reading = net::readProxyAddress(entry.text);
        if (!reading.address) {
            err << texts::kCannotReadProxies << file << texts::kProxyLine << entry.number << ": "
                << net::maskedProxyText(entry.text) << problemText(reading.problem) << ")\n";
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

std::string setAsideReason(net::ProxyTrouble reason)
{
    switch (reason) {
    case net::ProxyTrouble::Refused:
        return std::string(texts::kSetAsideRefused);
    case net::ProxyTrouble::Unresolved:
        return std::string(texts::kSetAsideUnresolved);
    case net::ProxyTrouble::TimedOut:
        return std::string(texts::kSetAsideTimedOut);
    case net::ProxyTrouble::NoAnswer:
        return std::string(texts::kSetAsideNoAnswer);
    case net::ProxyTrouble::NotAProxy:
    case net::ProxyTrouble::Garbled:
        return std::string(texts::kSetAsideNotAProxy);
    case net::ProxyTrouble::AuthRequired:
        return std::string(texts::kSetAsideAuthentication);
    case net::ProxyTrouble::Silent:
    case net::ProxyTrouble::Closed:
    case net::ProxyTrouble::None:
        break;
    }
    return std::string(texts::kSetAsideSilentBefore) + std::to_string(submit::ProxyPool::kSilentServices) +
           std::string(texts::kSetAsideSilentAfter);
}

} // namespace tavrin::cli
