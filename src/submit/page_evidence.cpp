#include "submit/page_evidence.h"

#include "text/charset.h"
#include "text/encoding.h"
#include "text/percent_escape.h"
#include "text/punycode.h"

#include <curl/curl.h>
#include <gumbo.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <semaphore>
#include <thread>
#include <unordered_set>
#include <vector>

namespace tavrin::submit {

namespace {

// Only the start of a page is parsed for its title and links; the mention is searched in all
// of it. Services put the queried site near the top, and 1 MiB of a realistic page takes about
// 35 ms and (in pieces, below) a few hundred kilobytes of parser memory.
constexpr std::size_t kParseBytes = std::size_t{1024} * 1024;

// gumbo's work grows with the square of the nesting depth (each start tag looks down the whole
// stack of open elements), so one deeply nested megabyte takes minutes. The page is therefore
// parsed in pieces, each as a document of its own: no piece nests deeper than its length, which
// bounds the work by (bytes parsed) x (piece size). Measured here on 1 MiB of the worst patterns
// found ("<div>", "<ul><li>", "<b><i>x", tags of a thousand attributes), in CPU time:
//   piece     4 KiB   8 KiB   16 KiB  32 KiB  1 MiB (one piece)
//   <div>     0.12 s  0.20 s  0.39 s  0.80 s  91 s
//   realistic 36 ms   31 ms   36 ms   34 ms   102 ms
// The realistic page costs the same at every size, while the worst case grows with the piece.
// So does the tree of the worst piece: formatting elements (<b>, <a>, <font> ...) that the end
// of a paragraph closed are opened again, as copies, for the text of every later paragraph, so
// "<p>", hundreds of distinct "<b a1>" and then "<p>x" over and over make a piece copy hundreds
// of elements hundreds of times: some 136,000 nodes and as many attributes for a piece of 4 KiB.
// 4 KiB keeps every pattern here under half a second a megabyte and cuts a realistic page every
// fifty tags or so (each cut can separate a <script> or comment from its end, see pieceEnd).
constexpr std::size_t kPieceBytes = std::size_t{4} * 1024;

// Pieces bound what one piece costs, not what all of them do: the copying above, piece after
// piece, builds 15 million nodes and attributes of a megabyte and takes 3 s. The size of the
// trees built, in nodes and attributes, is the measure of that work, and the page is read no
// further once it passes this budget. A realistic megabyte builds some 110,000, the nesting
// patterns above up to 450,000; the copying passes the budget within its first 70 KiB. The
// pieces read before the budget ran out still give their title and links.
constexpr std::size_t kParseBudgetTreeParts = 1'000'000;

// Pages this small are read without waiting for a slot (see ReadSlot): their memory is
// negligible, and waiting would cost more than reading.
constexpr std::size_t kSmallPageBytes = std::size_t{64} * 1024;

// The submission runs this from up to 500 worker threads, and one read holds a decoded copy of
// a body of up to 8 MiB (three times that for a body of undecodable bytes) plus a parsed piece.
// It is pure computation, so more reads of large pages at once than there are cores gain
// nothing and only multiply the memory; the rest wait for a slot.
class ReadSlot
{
public:
    explicit ReadSlot(bool needed)
        : held_(needed)
    {
        if (held_)
            slots().acquire();
    }
    ~ReadSlot()
    {
        if (held_)
            slots().release();
    }
    ReadSlot(const ReadSlot&) = delete;
    ReadSlot& operator=(const ReadSlot&) = delete;

private:
    bool held_;

    static std::counting_semaphore<>& slots()
    {
        static std::counting_semaphore<> instance(
            std::max<std::ptrdiff_t>(1, std::thread::hardware_concurrency()));
        return instance;
    }
};

// Frees a parsed piece. (The parser frees a tree without recursion, however deep it is.)
struct GumboOutputDeleter
{
    void operator()(GumboOutput* output) const noexcept { gumbo_destroy_output(output); }
};
using GumboOutputPtr = std::unique_ptr<GumboOutput, GumboOutputDeleter>;

// What the parse gathers over the pieces read so far.
struct ParsedFacts
{
    bool haveTitle = false;
    std::string title;
    std::optional<std::string> baseHref;
    // Distinct link targets as written, and those not judged yet.
    std::unordered_set<std::string> seenHrefs;
    std::vector<std::string> newHrefs;
};

bool isAsciiWhitespace(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isUtf8Continuation(char c) noexcept
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// At most `limit` bytes of UTF-8 text, never ending inside a character.
std::string_view utf8Prefix(std::string_view text, std::size_t limit) noexcept
{
    if (text.size() <= limit)
        return text;
    std::size_t end = limit;
    while (end > 0 && isUtf8Continuation(text[end]))
        --end;
    return text.substr(0, end);
}

// The end of the piece that starts at `start`: just before the last '<' that leaves the piece
// at most kPieceBytes long, so a tag is never cut in two. A window without one (text, or a tag
// longer than a piece) is cut at a character boundary instead; such a tag is lost, which costs
// nothing that matters, as no link to a site is kilobytes long. Letting long tags make longer
// pieces would bring the square back in another form: gumbo compares each attribute of a tag
// with all the ones before it.
// A cut inside a <script> or a comment makes the rest of it markup in the next piece, so a link
// that a script writes out can count (a browser would show it too), and so can one commented
// out (which a browser would not show) when a cut falls inside that comment.
std::size_t pieceEnd(std::string_view text, std::size_t start) noexcept
{
    if (text.size() - start <= kPieceBytes)
        return text.size();
    const std::size_t before = text.rfind('<', start + kPieceBytes);
    if (before != std::string_view::npos && before > start)
        return before;
    return start + utf8Prefix(text.substr(start), kPieceBytes).size();
}

// The title text with white space collapsed and trimmed, cut to kMaxTitleBytes.
std::string titleText(const GumboElement& title)
{
    std::string result;
    bool pendingBlank = false;
    for (unsigned int i = 0; i < title.children.length && result.size() <= kMaxTitleBytes; ++i) {
        const auto* child = static_cast<const GumboNode*>(title.children.data[i]);
        if (child->type != GUMBO_NODE_TEXT && child->type != GUMBO_NODE_WHITESPACE)
            continue;
        for (const char* c = child->v.text.text; *c != '\0' && result.size() <= kMaxTitleBytes; ++c) {
            if (isAsciiWhitespace(*c)) {
                pendingBlank = !result.empty();
                continue;
            }
            if (pendingBlank)
                result.push_back(' ');
            pendingBlank = false;
            result.push_back(*c);
        }
    }
    result.resize(utf8Prefix(result, kMaxTitleBytes).size());
    while (!result.empty() && result.back() == ' ')
        result.pop_back();
    return result;
}

const char* hrefOf(const GumboElement& element)
{
    // SVG links write xlink:href, which gumbo files under the local name "href" as well.
    const GumboAttribute* href = gumbo_get_attribute(&element.attributes, "href");
    return href ? href->value : nullptr;
}

// Gathers the facts of one parsed piece, walking its tree in document order with a stack of
// its own: a piece can be thousands of levels deep. Gives the size of the tree: its nodes and
// their attributes.
std::size_t gatherFacts(const GumboNode* root, ParsedFacts& facts)
{
    std::size_t treeParts = 0;
    std::vector<const GumboNode*> pending{root};
    while (!pending.empty()) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        ++treeParts;
        const GumboVector* children = nullptr;
        if (node->type == GUMBO_NODE_DOCUMENT) {
            children = &node->v.document.children;
        } else if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE) {
            const GumboElement& element = node->v.element;
            children = &element.children;
            treeParts += element.attributes.length;
            const bool html = element.tag_namespace == GUMBO_NAMESPACE_HTML;
            if (element.tag == GUMBO_TAG_TITLE && html && !facts.haveTitle) {
                facts.haveTitle = true;
                facts.title = titleText(element);
            } else if (element.tag == GUMBO_TAG_BASE && html && !facts.baseHref) {
                if (const char* href = hrefOf(element))
                    facts.baseHref = href;
            } else if (element.tag == GUMBO_TAG_A || (element.tag == GUMBO_TAG_AREA && html)) {
                const char* href = hrefOf(element);
                if (href && facts.seenHrefs.emplace(href).second)
                    facts.newHrefs.emplace_back(href);
            }
        }
        if (!children)
            continue;
        for (unsigned int i = children->length; i > 0; --i)
            pending.push_back(static_cast<const GumboNode*>(children->data[i - 1]));
    }
    return treeParts;
}

// Parses the start of the page piece by piece, until `enough` says that what the facts hold
// so far answers every question (most pages give their title and the link to the site in the
// first piece; the rest of the page is never parsed) or the parser's budget is spent.
ParsedFacts parseStartOfPage(std::string_view text, const std::function<bool(ParsedFacts&)>& enough)
{
    ParsedFacts facts;
    GumboOptions options = kGumboDefaultOptions;
    // No error list: it would only cost memory, and a hostile page can have one error a byte.
    options.max_errors = 0;
    // The parser's own limits stop a document at the 400th level of nesting or the 400th
    // attribute of a tag and drop the rest of it, which would lose a title or link behind such
    // markup; the pieces already bound what both can cost.
    options.max_tree_depth = std::numeric_limits<unsigned int>::max();
    options.max_attributes = -1;
    const std::string_view start = utf8Prefix(text, kParseBytes);
    std::size_t treeParts = 0;
    for (std::size_t at = 0; at < start.size();) {
        const std::size_t end = pieceEnd(start, at);
        const GumboOutputPtr output(gumbo_parse_with_options(&options, start.data() + at, end - at));
        if (output)
            treeParts += gatherFacts(output->document, facts);
        at = end;
        if (enough(facts) || treeParts > kParseBudgetTreeParts)
            break;
    }
    return facts;
}

// ---------------------------------------------------------------------------------------------
// Links

// Owning wrappers for curl's URL handles and the strings it hands out.
struct UrlDeleter
{
    void operator()(CURLU* url) const noexcept { curl_url_cleanup(url); }
};
using UrlPtr = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlStringDeleter
{
    void operator()(char* text) const noexcept { curl_free(text); }
};
using CurlString = std::unique_ptr<char, CurlStringDeleter>;

// Spaces are allowed because pages write them in paths and browsers follow such links anyway.
constexpr unsigned int kUrlFlags = CURLU_ALLOW_SPACE;

std::optional<std::string> urlPart(CURLU* url, CURLUPart part, unsigned int flags = 0)
{
    char* raw = nullptr;
    if (curl_url_get(url, part, &raw, flags) != CURLUE_OK)
        return std::nullopt;
    const CurlString owned(raw);
    return std::string(raw);
}

// ---------------------------------------------------------------------------------------------
// Host names

std::string asciiLowered(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return result;
}

// A host name as compared: ASCII letters lowered, the final dot of a fully qualified name
// dropped, and each label that is not ASCII in its Punycode form, so that a link written either
// way matches. (curl converts only through the locale's character set, and the program does
// not run in a UTF-8 locale.) Letters outside ASCII are not case-folded; Chinese has no case.
// A label longer than any label of a host name (63 characters, of at most 4 bytes each) is
// compared as it is: encoding takes time growing with the square of its length, and a page
// may write links to such names.
std::string hostKey(std::string_view host)
{
    constexpr std::size_t kMaxLabelBytes = 63 * 4;
    if (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    std::string key;
    while (true) {
        const std::size_t dot = host.find('.');
        const std::string_view label = host.substr(0, dot);
        const std::optional<std::string> encoded =
            label.size() <= kMaxLabelBytes ? text::asciiLabel(label) : std::nullopt;
        key += asciiLowered(encoded ? *encoded : label);
        if (dot == std::string_view::npos)
            return key;
        key.push_back('.');
        host.remove_prefix(dot + 1);
    }
}

// An href cleaned the way browsers clean it before reading it as a URL: surrounding blanks and
// control characters dropped, tabs and line breaks inside removed, and in front of the query
// a backslash read as a slash.
std::string cleanHref(std::string_view href)
{
    const auto isBlankOrControl = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!href.empty() && isBlankOrControl(href.front()))
        href.remove_prefix(1);
    while (!href.empty() && isBlankOrControl(href.back()))
        href.remove_suffix(1);
    std::string cleaned;
    cleaned.reserve(href.size());
    bool inQuery = false;
    for (const char c : href) {
        if (c == '\t' || c == '\n' || c == '\r')
            continue;
        inQuery = inQuery || c == '?' || c == '#';
        cleaned.push_back(c == '\\' && !inQuery ? '/' : c);
    }
    return cleaned;
}

// Resolves links against the page's address and says whether they lead to the site.
class LinkJudge
{
public:
    LinkJudge(std::string_view finalUrl, const std::optional<std::string>& baseHref, std::string siteKey)
        : base_(curl_url())
        , siteKey_(std::move(siteKey))
    {
        if (!base_)
            return;
        if (curl_url_set(base_.get(), CURLUPART_URL, std::string(finalUrl).c_str(), kUrlFlags) != CURLUE_OK) {
            // An address curl cannot read leaves only absolute links to judge.
            base_.reset(curl_url());
        }
        if (baseHref && base_) {
            UrlPtr declared(curl_url_dup(base_.get()));
            if (declared && curl_url_set(declared.get(), CURLUPART_URL, cleanHref(*baseHref).c_str(),
                                         kUrlFlags) == CURLUE_OK)
                base_ = std::move(declared);
        }
    }

    [[nodiscard]] bool leadsToSite(std::string_view href) const
    {
        if (!base_ || siteKey_.empty())
            return false;
        const UrlPtr link(curl_url_dup(base_.get()));
        if (!link || curl_url_set(link.get(), CURLUPART_URL, cleanHref(href).c_str(), kUrlFlags) != CURLUE_OK)
            return false;
        const std::optional<std::string> scheme = urlPart(link.get(), CURLUPART_SCHEME);
        if (!scheme)
            return false;
        const std::string lowScheme = asciiLowered(*scheme);
        if (lowScheme != "http" && lowScheme != "https")
            return false;
        const std::optional<std::string> rawHost = urlPart(link.get(), CURLUPART_HOST);
        if (!rawHost)
            return false;
        const std::string host = hostKey(*rawHost);
        if (host.size() == siteKey_.size())
            return host == siteKey_;
        // A subdomain, ending in "." + the site host; "evilwww.mysite.com" is another site.
        return host.size() > siteKey_.size() && host.ends_with(siteKey_) &&
               host[host.size() - siteKey_.size() - 1] == '.';
    }

private:
    UrlPtr base_;
    std::string siteKey_;
};

// ---------------------------------------------------------------------------------------------
// Mentions

char lowerAsciiChar(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `text` holds one of the (lowered) needles, ASCII letters of the text compared
// without case. Boyer-Moore keeps a search of a hostile body linear whatever repeats it holds,
// and folding while comparing needs no lowered copy of an 8 MiB page.
bool containsAny(std::string_view text, const std::vector<std::string>& needles)
{
    const auto hash = [](char c) { return std::hash<char>()(lowerAsciiChar(c)); };
    const auto same = [](char a, char b) { return lowerAsciiChar(a) == lowerAsciiChar(b); };
    return std::any_of(needles.begin(), needles.end(), [&](const std::string& needle) {
        const std::boyer_moore_searcher searcher(needle.begin(), needle.end(), hash, same);
        return std::search(text.begin(), text.end(), searcher) != text.end();
    });
}

// The text with every %XX decoded. Other '%' stay.
std::string percentDecoded(std::string_view text)
{
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        if (const std::optional<unsigned char> escaped = text::percentEscapeAt(text, at)) {
            decoded.push_back(static_cast<char>(*escaped));
            at += 3;
        } else {
            decoded.push_back(text[at++]);
        }
    }
    return decoded;
}

// Whether the page text names the site, written plainly or percent-encoded (alone or inside an
// encoded URL). Searching bytes, "mysite.com" is also named by "notmysite.com": the page does
// write that text, and a search that judged host boundaries would have to guess what counts as
// one in every script and encoding.
bool mentionsSite(std::string_view text, const std::vector<std::string>& needles)
{
    if (containsAny(text, needles))
        return true;
    if (text.find('%') == std::string::npos)
        return false;
    return containsAny(percentDecoded(text), needles);
}

bool isAscii(std::string_view text) noexcept
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The Unicode form (UTF-8) of a host name whose labels may be punycode; nothing when one of
// them is "xn--" but not punycode.
std::optional<std::string> unicodeHost(std::string_view host)
{
    std::string unicode;
    while (true) {
        const std::size_t dot = host.find('.');
        const std::optional<std::string> label = text::unicodeLabel(host.substr(0, dot));
        if (!label)
            return std::nullopt;
        unicode += *label;
        if (dot == std::string_view::npos)
            return unicode;
        unicode.push_back('.');
        host.remove_prefix(dot + 1);
    }
}

// The forms in which a page may write the site host, lowered: as given, in UTF-8; for a name
// that is not ASCII also its punycode form and its GBK bytes (percent-encoded GBK is common in
// the addresses on Chinese pages); and for a name given in punycode (as the command line and
// the address box keep a Chinese name) also its Unicode form, in UTF-8 and in GBK, which is how
// a Chinese page writes it.
std::vector<std::string> mentionNeedles(std::string_view siteHostGbk, const std::string& siteUtf8,
                                        const std::string& siteKey)
{
    std::vector<std::string> needles{asciiLowered(siteUtf8)};
    const auto add = [&needles](std::string needle) {
        if (!needle.empty() && std::find(needles.begin(), needles.end(), needle) == needles.end())
            needles.push_back(std::move(needle));
    };
    if (!isAscii(siteHostGbk)) {
        add(asciiLowered(siteHostGbk));
        add(siteKey);
    } else if (const std::optional<std::string> unicode = unicodeHost(siteKey)) {
        add(asciiLowered(*unicode));
        // Only a name GBK can hold has a GBK spelling; the rest would come back as '?'.
        const std::string gbk = text::utf8ToGbk(*unicode);
        if (text::gbkToUtf8(gbk) == *unicode)
            add(asciiLowered(gbk));
    }
    return needles;
}

} // namespace

PageEvidence readPageEvidence(std::string_view body, std::string_view contentType, std::string_view finalUrl,
                              std::string_view siteHost)
{
    PageEvidence evidence;
    if (body.empty())
        return evidence;
    const ReadSlot slot(body.size() > kSmallPageBytes);

    const text::PickedCharset charset = text::pickCharset(body, contentType);
    const std::string pageText = text::decodeToUtf8(body, charset.name);
    if (siteHost.empty()) {
        evidence.titleUtf8 =
            parseStartOfPage(pageText, [](ParsedFacts& facts) { return facts.haveTitle; }).title;
        return evidence;
    }

    const std::string siteUtf8 = text::gbkToUtf8(siteHost);
    const std::string siteKey = hostKey(siteUtf8);
    evidence.mentionsSite = mentionsSite(pageText, mentionNeedles(siteHost, siteUtf8, siteKey));
    // A link to the site names it, unless it is relative on a page that is on the site itself.
    // Without either, the rest of the page need not be read for links once the title is known
    // (the pieces read for the title are still judged: a link can hide its host from the
    // search, say with a line break that browsers drop).
    const bool pageOnSite = LinkJudge(finalUrl, std::nullopt, siteKey).leadsToSite(finalUrl);
    const bool linksLikely = evidence.mentionsSite || pageOnSite;
    // The links are judged as the pieces come, against the <base href> known so far (it belongs
    // in the head, before any link).
    std::optional<LinkJudge> judge;
    std::optional<std::string> judgeBase;
    const auto enough = [&](ParsedFacts& facts) {
        if (!evidence.linksToSite && !facts.newHrefs.empty()) {
            if (!judge || judgeBase != facts.baseHref) {
                judge.emplace(finalUrl, facts.baseHref, siteKey);
                judgeBase = facts.baseHref;
            }
            evidence.linksToSite =
                std::any_of(facts.newHrefs.begin(), facts.newHrefs.end(),
                            [&](const std::string& href) { return judge->leadsToSite(href); });
        }
        facts.newHrefs.clear();
        return facts.haveTitle && (evidence.linksToSite || !linksLikely);
    };
    evidence.titleUtf8 = parseStartOfPage(pageText, enough).title;
    return evidence;
}

} // namespace tavrin::submit
