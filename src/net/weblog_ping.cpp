#include "net/weblog_ping.h"

#include <expat.h>

#include <charconv>
#include <climits>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace tavrin::net {

namespace {

struct ExpatParserDeleter
{
    void operator()(XML_Parser parser) const noexcept { XML_ParserFree(parser); }
};
using ExpatParser = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ExpatParserDeleter>;

// Far beyond any reply: a methodResponse is six levels deep and a dozen elements long.
constexpr std::size_t kMaxDepth = 32;
constexpr std::size_t kMaxElements = 10'000;
constexpr std::string_view kBlanks = " \t\r\n";

void appendEscaped(std::string& xml, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '&':
            xml += "&amp;";
            break;
        case '<':
            xml += "&lt;";
            break;
        case '>':
            xml += "&gt;";
            break;
        default:
            // XML 1.0 has no way to carry the other control characters.
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                xml += c;
            break;
        }
    }
}

void appendStringParam(std::string& xml, std::string_view value)
{
    xml += "<param><value><string>";
    appendEscaped(xml, value);
    xml += "</string></value></param>";
}

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string oneLine(std::string_view text)
{
    std::string line(trimmed(text));
    for (char& c : line) {
        if (c == '\r' || c == '\n' || c == '\t')
            c = ' ';
    }
    return line;
}

// An element of the reply with its own character data; enough of a tree for a document of a
// few dozen elements.
struct Element
{
    std::string name;
    std::string text;
    std::vector<Element> children;

    [[nodiscard]] const Element* child(std::string_view wanted) const
    {
        for (const Element& element : children) {
            if (element.name == wanted)
                return &element;
        }
        return nullptr;
    }
};

// Builds the tree from expat's callbacks. Pointers on the stack stay valid: only the innermost
// open element gets children, and its ancestors' child lists do not change while it is open.
class TreeBuilder
{
public:
    explicit TreeBuilder(XML_Parser parser)
        : parser_(parser)
    {
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, &TreeBuilder::onStart, &TreeBuilder::onEnd);
        XML_SetCharacterDataHandler(parser, &TreeBuilder::onText);
        XML_SetStartDoctypeDeclHandler(parser, &TreeBuilder::onDoctype);
    }

    [[nodiscard]] const Element& root() const { return root_; }
    [[nodiscard]] const std::optional<std::string>& refusal() const { return refusal_; }

private:
    static void onStart(void* self, const XML_Char* name, const XML_Char**)
    {
        auto& builder = *static_cast<TreeBuilder*>(self);
        if (builder.open_.size() >= kMaxDepth || ++builder.elements_ > kMaxElements)
            return builder.refuse("the reply is nested too deep or too long");
        Element& parent = builder.open_.empty() ? builder.document_ : *builder.open_.back();
        parent.children.push_back(Element{name, {}, {}});
        builder.open_.push_back(&parent.children.back());
    }

    static void onEnd(void* self, const XML_Char*)
    {
        auto& builder = *static_cast<TreeBuilder*>(self);
        if (builder.open_.empty())
            return;
        builder.open_.pop_back();
        if (builder.open_.empty() && !builder.document_.children.empty())
            builder.root_ = std::move(builder.document_.children.front());
    }

    static void onText(void* self, const XML_Char* text, int length)
    {
        auto& builder = *static_cast<TreeBuilder*>(self);
        if (!builder.open_.empty())
            builder.open_.back()->text.append(text, static_cast<std::size_t>(length));
    }

    static void onDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        static_cast<TreeBuilder*>(self)->refuse("a document type declaration");
    }

    void refuse(const char* why)
    {
        if (!refusal_)
            refusal_ = why;
        XML_StopParser(parser_, XML_FALSE);
    }

    XML_Parser parser_;
    Element document_; // holds the root element while it is open
    Element root_;
    std::vector<Element*> open_;
    std::size_t elements_ = 0;
    std::optional<std::string> refusal_;
};

// The text of an XML-RPC <value>: that of its type element (<string>, <boolean>, <int> ...),
// or its own when it has none, which makes it a string.
std::string_view valueText(const Element& value)
{
    return value.children.empty() ? std::string_view(value.text)
                                  : std::string_view(value.children.front().text);
}

// The members of a <value><struct>, by name.
const Element* structMember(const Element* value, std::string_view name)
{
    const Element* members = value ? value->child("struct") : nullptr;
    if (!members)
        return nullptr;
    for (const Element& member : members->children) {
        const Element* memberName = member.child("name");
        if (member.name == "member" && memberName && trimmed(memberName->text) == name)
            return member.child("value");
    }
    return nullptr;
}

std::optional<bool> readBoolean(const Element* value)
{
    if (!value)
        return std::nullopt;
    const std::string_view text = trimmed(valueText(*value));
    if (text == "0" || text == "false")
        return false;
    if (text == "1" || text == "true")
        return true;
    return std::nullopt;
}

int readInt(const Element* value)
{
    if (!value)
        return 0;
    const std::string_view text = trimmed(valueText(*value));
    int number = 0;
    (void)std::from_chars(text.data(), text.data() + text.size(), number);
    return number;
}

WeblogPingReply interpret(const Element& root)
{
    WeblogPingReply reply;
    if (root.name != "methodResponse") {
        reply.answer = WeblogPingReply::Answer::NotMethodResponse;
        return reply;
    }
    if (const Element* fault = root.child("fault")) {
        const Element* value = fault->child("value");
        reply.answer = WeblogPingReply::Answer::Fault;
        reply.faultCode = readInt(structMember(value, "faultCode"));
        if (const Element* text = structMember(value, "faultString"))
            reply.message = oneLine(valueText(*text));
        return reply;
    }
    const Element* params = root.child("params");
    const Element* param = params ? params->child("param") : nullptr;
    const Element* value = param ? param->child("value") : nullptr;
    const std::optional<bool> flerror = readBoolean(structMember(value, "flerror"));
    if (!flerror) {
        reply.answer = WeblogPingReply::Answer::NoFlerror;
        return reply;
    }
    reply.answer = *flerror ? WeblogPingReply::Answer::Refused : WeblogPingReply::Answer::Accepted;
    if (const Element* message = structMember(value, "message"))
        reply.message = oneLine(valueText(*message));
    return reply;
}

} // namespace

std::string weblogPingCall(std::string_view siteName, std::string_view siteUrl, std::string_view feedUrl)
{
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>)"
                      "\n<methodCall><methodName>";
    xml += feedUrl.empty() ? "weblogUpdates.ping" : "weblogUpdates.extendedPing";
    xml += "</methodName><params>";
    appendStringParam(xml, siteName);
    appendStringParam(xml, siteUrl);
    if (!feedUrl.empty()) {
        // The page that changed, then the feed.
        appendStringParam(xml, siteUrl);
        appendStringParam(xml, feedUrl);
    }
    xml += "</params></methodCall>\n";
    return xml;
}

WeblogPingReply readWeblogPingReply(std::string_view body)
{
    WeblogPingReply reply;
    const ExpatParser parser(XML_ParserCreate(nullptr));
    if (!parser || body.size() > static_cast<std::size_t>(INT_MAX)) {
        reply.message = "the reply cannot be read";
        return reply;
    }
    // No external DTD or parameter entity is ever fetched or read.
    XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    TreeBuilder builder(parser.get());
    const XML_Status status = XML_Parse(parser.get(), body.data(), static_cast<int>(body.size()), XML_TRUE);
    if (builder.refusal()) {
        reply.message = *builder.refusal();
        reply.errorLine = XML_GetCurrentLineNumber(parser.get());
        return reply;
    }
    if (status != XML_STATUS_OK) {
        reply.message = XML_ErrorString(XML_GetErrorCode(parser.get()));
        reply.errorLine = XML_GetCurrentLineNumber(parser.get());
        return reply;
    }
    return interpret(builder.root());
}

} // namespace tavrin::net
