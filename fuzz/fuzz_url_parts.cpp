// Splitting a request URL: urlHost, urlPort, urlPath, urlIsHttps and requestUrl.
//
// Input: the URL.
#include "fuzz_check.h"

#include "net/url_parts.h"
#include "text/gbk_text.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

namespace net = tavrin::net;
namespace text = tavrin::text;
using tavrin::text::Text;

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

void checkParts(std::string_view url)
{
    const Text host = net::urlHost(url);
    const Text hostAndPort = net::urlHost(url, true);
    TAVRIN_FUZZ_CHECK(startsWith(hostAndPort, host));
    TAVRIN_FUZZ_CHECK(hostAndPort.find_first_of("/?#") == Text::npos);
    TAVRIN_FUZZ_CHECK(text::asciiLower(hostAndPort) == hostAndPort);
    // The port is cut at a ":" outside the brackets of an IPv6 address.
    if (hostAndPort.size() > host.size())
        TAVRIN_FUZZ_CHECK(hostAndPort[host.size()] == ':');

    const Text path = net::urlPath(url);
    TAVRIN_FUZZ_CHECK(startsWith(path, "/"));
    // The path is the end of the URL as written, or that with a "/" put in front.
    TAVRIN_FUZZ_CHECK(url.ends_with(path) || url.ends_with(std::string_view(path).substr(1)));

    const int port = net::urlPort(url);
    if (hostAndPort.size() == host.size())
        TAVRIN_FUZZ_CHECK(port == (net::urlIsHttps(url) ? 443 : 80));
    TAVRIN_FUZZ_CHECK(port != 0);
}

void checkRequestUrl(std::string_view url)
{
    const Text request = net::requestUrl(url);
    const bool https = net::urlIsHttps(url);
    TAVRIN_FUZZ_CHECK(startsWith(request, https ? "https://" : "http://"));

    // What goes to the transfer reads back as the same request, and making it again changes
    // nothing.
    TAVRIN_FUZZ_CHECK(net::urlIsHttps(request) == https);
    TAVRIN_FUZZ_CHECK(net::urlHost(request) == net::urlHost(url));
    TAVRIN_FUZZ_CHECK(net::urlPort(request) == net::urlPort(url));
    TAVRIN_FUZZ_CHECK(net::requestUrl(request) == request);

    // The path carries no fragment and no byte that cannot stand in a request line.
    const Text requestPath = net::urlPath(request);
    TAVRIN_FUZZ_CHECK(requestPath.find('#') == Text::npos);
    for (const char c : requestPath) {
        const auto byte = static_cast<unsigned char>(c);
        TAVRIN_FUZZ_CHECK(byte > 0x20 && byte != 0x7F);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    checkParts(url);
    checkRequestUrl(url);
    return 0;
}
