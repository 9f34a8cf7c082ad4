// A site address as a user types it on the command line, checked: the one reading of --site,
// --sites and ping --site, so that an address is taken or refused the same way everywhere, and
// a typo is refused with a reason before anything is requested.
//
// Accepted: blanks around it; "http://" or "https://" in front, or no scheme (http); user
// information ("user:pw@"), which is dropped; a host name of letters, digits and hyphens in
// labels separated by dots, with Unicode labels (a Chinese name) and the full-width dots of
// Chinese input ("。", "．", "｡") allowed; an IPv4 address; "localhost"; a port; a path, query
// and fragment, kept as typed. The host becomes its ASCII form: letters lowered, each Unicode
// label as punycode ("例子.测试" is "xn--fsqu00a.xn--0zwm56d"). That form is what templates
// get, what goes on the wire and what the history keeps, so one site has one spelling.
#pragma once

#include "text/gbk_text.h"

#include <optional>
#include <string>
#include <string_view>

namespace tavrin::library {

// Why an address is refused.
enum class SiteAddressProblem
{
    // Nothing where the host goes ("http://", "", "user@").
    NoHost,
    // A blank or control character inside the address ("not a site").
    Blank,
    // A scheme other than http and https ("ftp://a.example").
    Scheme,
    // A character no host name holds ("a_b.example", "a!.example"), or bytes that are not UTF-8.
    BadCharacter,
    // A label with nothing in it ("a..b", ".a.example").
    EmptyLabel,
    // A label over 63 bytes in its ASCII form.
    LongLabel,
    // A name over 253 bytes in its ASCII form.
    LongName,
    // A label that starts or ends with a hyphen ("-a.example").
    Hyphen,
    // A label starting with "xn--" that is not the punycode of a Unicode label.
    BadAceLabel,
    // A port that is not a number from 1 to 65535 ("a.example:0", "a.example:http").
    BadPort,
    // A name whose last label is a number but that is not an IPv4 address ("1.2.3", "1.2.3.256").
    BadIpv4,
    // A name of one label other than "localhost" ("intranet"): no site on the web is named so,
    // and it is mostly a word typed where the address belonged.
    SingleLabel,
};

struct SiteAddress
{
    bool https = false;
    // The host in its ASCII form, lower case, without a final dot: "www.example.com",
    // "xn--fsqu00a.xn--0zwm56d", "192.0.2.1". ASCII, so the same bytes as GBK text.
    text::Text host;
    // The port typed, or 0.
    int port = 0;
    // What follows the host and port as typed: path, query and fragment; empty when nothing.
    std::string rest;

    // The address with the scheme (http when none was typed), the host in its ASCII form, no
    // user information: "http://xn--fsqu00a.xn--0zwm56d/blog".
    [[nodiscard]] std::string url() const;
};

// The address, or why it is refused (`problem` is meaningful only without an address).
struct SiteAddressCheck
{
    std::optional<SiteAddress> address;
    SiteAddressProblem problem = SiteAddressProblem::NoHost;
};

// Reads an address typed by the user (UTF-8).
[[nodiscard]] SiteAddressCheck checkSiteAddress(std::string_view typed);

// The host name alone (UTF-8, without scheme, port or path), checked and turned into its ASCII
// form as checkSiteAddress does.
struct SiteHostCheck
{
    std::optional<text::Text> host;
    SiteAddressProblem problem = SiteAddressProblem::NoHost;
};
[[nodiscard]] SiteHostCheck checkSiteHost(std::string_view utf8Host);

} // namespace tavrin::library
