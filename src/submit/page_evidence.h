// What a fetched page says about the user's site: its title, whether it names the site, and
// whether it links to it. This is the evidence shown beside a verdict, and what the stricter
// rules (a mention or a link required) judge by.
#pragma once

#include <string>
#include <string_view>

namespace tavrin::submit {

struct PageEvidence
{
    // The text of the page's first <title>, decoded from the page's charset to UTF-8, runs of
    // white space collapsed to one blank and trimmed, cut to kMaxTitleBytes on a character
    // boundary; empty when the page has none. UTF-8, not GBK: a foreign page's title may hold
    // characters that GBK cannot express.
    std::string titleUtf8;
    // The page text names the site host (any letter case), also in percent-encoded form
    // ("www%2Emysite%2Ecom", or inside an encoded URL). Searched as bytes in all of the decoded
    // body, so a longer name that ends in the host ("notmysite.com") names it too.
    bool mentionsSite = false;
    // The page has an <a href> (or <area href>) to an http or https address whose host is the
    // site host or one of its subdomains ("blog.mysite.com", not "evilmysite.com"), relative
    // links resolved against the page's address (or its <base href>).
    bool linksToSite = false;
};

inline constexpr std::size_t kMaxTitleBytes = 512;

// Reads the evidence from a response body. `contentType` is the value of the response's
// Content-Type header (empty when none), which may name the charset; `finalUrl` is the address
// the body came from after redirects; `siteHost` is the user's site host (GBK, lower case, as
// the address box gives it; empty means no site, so neither mention nor link is found).
// The charset comes from a byte-order mark, the Content-Type, a <meta> near the start, or else
// is UTF-8 when the bytes read so and GBK otherwise (text/charset.h).
// Bounded in time and memory whatever the body holds: title and links are read from the first
// MiB only, deeply nested markup cannot make the parser's work grow without limit (an 8 MiB
// body of nested tags takes well under a second), and markup that makes the parser build
// several times the tree of a real page is read no further than where it passes that budget. Thread-safe;
// reads beyond one per core wait for a free core instead of running at once.
[[nodiscard]] PageEvidence readPageEvidence(std::string_view body, std::string_view contentType,
                                            std::string_view finalUrl, std::string_view siteHost);

} // namespace tavrin::submit
