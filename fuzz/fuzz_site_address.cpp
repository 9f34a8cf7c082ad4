// The checked reading of a site address, the address box's lenient one, and Punycode.
//
// Input: the whole of it is an address typed on the command line (UTF-8 or not), an address in
// the box (GBK), and Punycode to decode; its code points (its UTF-8 read as such, else every
// three bytes one value) are also encoded. What is taken must be a clean host name that reads
// back as itself; Punycode must come back from a round trip as it went in.
#include "fuzz_check.h"

#include "library/site_address.h"
#include "library/site_host.h"
#include "text/punycode.h"
#include "text/utf8_sequence.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

namespace library = tavrin::library;
namespace text = tavrin::text;

bool isHostNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

void checkTakenAddress(std::string_view typed)
{
    const library::SiteAddressCheck checked = library::checkSiteAddress(typed);
    if (!checked.address)
        return;
    const library::SiteAddress& address = *checked.address;
    const std::string& host = address.host;
    TAVRIN_FUZZ_CHECK(!host.empty() && host.size() <= 253);
    for (const char c : host)
        TAVRIN_FUZZ_CHECK(isHostNameChar(c));
    TAVRIN_FUZZ_CHECK(host.front() != '.' && host.back() != '.' && host.find("..") == std::string::npos);
    TAVRIN_FUZZ_CHECK(host == "localhost" || host.find('.') != std::string::npos);
    std::size_t labelStart = 0;
    for (std::size_t dot = host.find('.');; dot = host.find('.', labelStart)) {
        const std::string_view label = std::string_view(host).substr(
            labelStart, dot == std::string::npos ? std::string::npos : dot - labelStart);
        TAVRIN_FUZZ_CHECK(label.size() <= 63 && label.front() != '-' && label.back() != '-');
        if (dot == std::string::npos)
            break;
        labelStart = dot + 1;
    }
    TAVRIN_FUZZ_CHECK(address.port >= 0 && address.port <= 65535);

    // The ASCII form and the address made of it read as themselves.
    TAVRIN_FUZZ_CHECK(library::checkSiteHost(host).host == host);
    const library::SiteAddressCheck again = library::checkSiteAddress(address.url());
    TAVRIN_FUZZ_CHECK(again.address);
    TAVRIN_FUZZ_CHECK(again.address->host == host && again.address->port == address.port &&
                      again.address->https == address.https && again.address->rest == address.rest);
    // The box reads the host the same way, whichever form it was typed in.
    TAVRIN_FUZZ_CHECK(library::siteHost(address.url()) == host);
}

void checkBoxAddress(std::string_view gbk)
{
    // Whatever the bytes, a host comes out, without what ends or follows one.
    const text::Text host = library::siteHost(gbk);
    TAVRIN_FUZZ_CHECK(host.find_first_of("/?#:") == text::Text::npos);
}

void checkPunycodeRoundTrips(std::string_view bytes)
{
    // Decoded Punycode encodes to what it was, the digits in lower case.
    if (const std::optional<std::u32string> decoded = text::punycodeDecode(bytes)) {
        const std::optional<std::string> encoded = text::punycodeEncode(*decoded);
        TAVRIN_FUZZ_CHECK(encoded);
        TAVRIN_FUZZ_CHECK(encoded->size() == bytes.size());
        const std::size_t delimiter = bytes.rfind('-');
        const std::size_t digits = delimiter == std::string_view::npos ? 0 : delimiter + 1;
        TAVRIN_FUZZ_CHECK(encoded->substr(0, digits) == bytes.substr(0, digits));
        for (std::size_t i = digits; i < bytes.size(); ++i) {
            const char c = bytes[i];
            TAVRIN_FUZZ_CHECK((*encoded)[i] == (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c));
        }
    }

    // Code points encode to Punycode that decodes to them. The encoding takes time growing with
    // the square of the length, so a few hundred are enough; so few cannot overflow a count, and
    // only a surrogate is refused.
    constexpr std::size_t kMaxPoints = 256;
    std::u32string points;
    if (const std::optional<std::u32string> utf8 = text::utf8CodePoints(bytes)) {
        points = utf8->substr(0, kMaxPoints);
    } else {
        const auto byte = [bytes](std::size_t at) {
            return static_cast<char32_t>(static_cast<unsigned char>(bytes[at]));
        };
        for (std::size_t i = 0; i + 3 <= bytes.size() && points.size() < kMaxPoints; i += 3)
            points.push_back(((byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2)) % 0x110000);
    }
    const std::optional<std::string> encoded = text::punycodeEncode(points);
    const bool scalar = std::all_of(points.begin(), points.end(),
                                    [](char32_t point) { return point < 0xD800 || point > 0xDFFF; });
    TAVRIN_FUZZ_CHECK(encoded.has_value() == scalar);
    if (encoded)
        TAVRIN_FUZZ_CHECK(text::punycodeDecode(*encoded) == points);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    checkTakenAddress(bytes);
    checkBoxAddress(bytes);
    checkPunycodeRoundTrips(bytes);
    return 0;
}
