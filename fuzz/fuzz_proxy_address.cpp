// Reading a proxy address: readProxyAddress, parseProxyAddress, maskedProxyText and what an
// address that reads gives curl and people.
//
// Input: the address as typed.
#include "fuzz_check.h"

#include "net/proxy_address.h"
#include "text/gbk_text.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

namespace net = tavrin::net;
using tavrin::text::Text;

void checkReading(std::string_view given)
{
    const net::ProxyAddressReading reading = net::readProxyAddress(given);
    TAVRIN_FUZZ_CHECK(reading.address.has_value() == (reading.problem == net::ProxyAddressProblem::None));
    TAVRIN_FUZZ_CHECK(net::parseProxyAddress(given) == reading.address);
    // Spaces around an address change nothing.
    const std::string padded = " " + std::string(given) + " ";
    TAVRIN_FUZZ_CHECK(net::readProxyAddress(padded).problem == reading.problem);
    if (!reading.address)
        return;

    const net::ProxyAddress& proxy = *reading.address;
    TAVRIN_FUZZ_CHECK(proxy.port >= 1 && proxy.port <= 65535);
    TAVRIN_FUZZ_CHECK(!proxy.host.empty());
    // What curl is given is plain ASCII without blanks, and reads back as the same proxy.
    const Text forCurl = proxy.forCurl();
    for (const char c : forCurl) {
        const auto byte = static_cast<unsigned char>(c);
        TAVRIN_FUZZ_CHECK(byte > 0x20 && byte < 0x7F);
    }
    const std::optional<net::ProxyAddress> again = net::parseProxyAddress(forCurl);
    TAVRIN_FUZZ_CHECK(again.has_value());
    TAVRIN_FUZZ_CHECK(again->forCurl() == forCurl);
    TAVRIN_FUZZ_CHECK(again->host == proxy.host && again->port == proxy.port &&
                      again->credentials == proxy.credentials);

    // A password shows nowhere: the address as shown and the text as a message shows it mask it.
    const std::size_t colon = proxy.credentials.find(':');
    if (colon == Text::npos)
        return;
    const Text password = proxy.credentials.substr(colon + 1);
    const Text shown = proxy.shown();
    TAVRIN_FUZZ_CHECK(shown.find(proxy.credentials.substr(0, colon) + ":***@" + proxy.host) != Text::npos);
    const Text masked = net::maskedProxyText(given);
    TAVRIN_FUZZ_CHECK(masked.find(":***@") != Text::npos);
    if (!password.empty() && password != "***")
        TAVRIN_FUZZ_CHECK(masked.find(":" + password + "@") == Text::npos);
}

void checkMasking(std::string_view given)
{
    // Whatever the text, masking never makes it longer than the text and three stars, and
    // leaves it alone when there is nothing to mask.
    const Text masked = net::maskedProxyText(given);
    TAVRIN_FUZZ_CHECK(masked.size() <= given.size() + 3);
    if (given.find('@') == std::string_view::npos)
        TAVRIN_FUZZ_CHECK(masked == given);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view given(reinterpret_cast<const char*>(data), size);
    checkReading(given);
    checkMasking(given);
    return 0;
}
