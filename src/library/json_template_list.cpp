#include "library/json_template_list.h"

#include "text/charset.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace tavrin::library {

namespace {

using Json = nlohmann::json;

constexpr std::string_view kUrlMember = "url";

// Line and column of the byte the parser stopped at (`position` counts bytes read, so the byte
// at fault is the one before it; at the end of the text it is the position after the last).
JsonSyntaxError syntaxErrorAt(std::string_view text, std::size_t position, std::string reason)
{
    const std::size_t at = std::min(position == 0 ? 0 : position - 1, text.size());
    const std::string_view before = text.substr(0, at);
    const std::size_t lineStart = before.rfind('\n');
    JsonSyntaxError error;
    error.line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    error.column = lineStart == std::string_view::npos ? at + 1 : at - lineStart;
    error.reason = std::move(reason);
    return error;
}

// The parser's message without its "[json.exception...] parse error at line L, column C: "
// opening, whose place we give in numbers of our own. The message quotes the bytes last read
// (control characters written out as <U+000A>), which need not be UTF-8 (a GBK file): they are
// made so for the terminal.
std::string reasonOf(const std::string& what)
{
    const std::size_t column = what.find("column ");
    const std::size_t colon = column == std::string::npos ? column : what.find(": ", column);
    return text::decodeToUtf8(colon == std::string::npos ? what : what.substr(colon + 2), "UTF-8");
}

// The events of one parse. Depth 1 is the top-level array, depth 2 the inside of an element
// that is an object or an array; everything deeper is passed over.
class ListEvents
{
public:
    ListEvents(std::string_view text, const JsonElementVisitor& visit, JsonListRead& read)
        : text_(text)
        , visit_(visit)
        , read_(read)
    {}

    bool null() { return scalar(); }
    bool boolean(bool) { return scalar(); }
    bool number_integer(Json::number_integer_t) { return scalar(); }
    bool number_unsigned(Json::number_unsigned_t) { return scalar(); }
    bool number_float(Json::number_float_t, const Json::string_t&) { return scalar(); }
    bool binary(Json::binary_t&) { return scalar(); }

    bool string(Json::string_t& value)
    {
        if (depth_ == 1)
            return element(std::string_view(value));
        // A second "url" member of the same object is passed over.
        if (depth_ == 2 && inObject_ && atUrl_ && !url_)
            url_ = std::move(value);
        atUrl_ = false;
        return true;
    }

    bool start_object(std::size_t)
    {
        if (depth_ == 0)
            return notAnArray();
        if (depth_ == 1) {
            inObject_ = true;
            url_.reset();
        }
        atUrl_ = false;
        ++depth_;
        return true;
    }

    bool key(Json::string_t& name)
    {
        atUrl_ = depth_ == 2 && name == kUrlMember;
        return true;
    }

    bool end_object() { return endContainer(); }

    bool start_array(std::size_t)
    {
        if (depth_ == 1)
            inObject_ = false;
        atUrl_ = false;
        ++depth_;
        return true;
    }

    bool end_array() { return endContainer(); }

    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& error)
    {
        read_.error = syntaxErrorAt(text_, position, reasonOf(error.what()));
        return false;
    }

private:
    bool scalar()
    {
        if (depth_ == 0)
            return notAnArray();
        if (depth_ == 1)
            return element(std::nullopt);
        atUrl_ = false;
        return true;
    }

    bool endContainer()
    {
        --depth_;
        atUrl_ = false;
        if (depth_ != 1)
            return true;
        // An element that was an object or an array has ended.
        const bool wasObject = inObject_;
        inObject_ = false;
        if (wasObject && url_)
            return element(std::string_view(*url_));
        return element(std::nullopt);
    }

    bool element(std::optional<std::string_view> templateUtf8)
    {
        ++read_.elements;
        if (visit_ && !visit_(templateUtf8)) {
            read_.stopped = true;
            return false;
        }
        return true;
    }

    bool notAnArray()
    {
        read_.error = JsonSyntaxError{1, 1, "the text is not a JSON array"};
        return false;
    }

    std::string_view text_;
    const JsonElementVisitor& visit_;
    JsonListRead& read_;
    std::size_t depth_ = 0;
    bool inObject_ = false; // the element being read is an object
    bool atUrl_ = false;    // the next value is that of its "url" member
    std::optional<std::string> url_;
};

} // namespace

JsonListRead readJsonTemplateList(std::string_view text, const JsonElementVisitor& visit)
{
    JsonListRead read;
    ListEvents events(text, visit, read);
    // Strict: nothing but blanks may follow the array.
    (void)Json::sax_parse(text.begin(), text.end(), &events, Json::input_format_t::json, true);
    return read;
}

} // namespace tavrin::library
