// Template lists in JSON, as public collections ship them: an array whose elements are strings
// (the templates) or objects with a "url" member holding one.
//
// The list is read as a stream of parser events (nlohmann/json's SAX interface), never built as
// a document: a list of a million templates costs no more than the file's own bytes.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin::library {

// Where a JSON text stops being JSON, as an editor counts: lines from 1, and the column the
// byte number within its line (from 1). `reason` is the parser's own English words.
struct JsonSyntaxError
{
    std::size_t line = 0;
    std::size_t column = 0;
    std::string reason;

    friend bool operator==(const JsonSyntaxError&, const JsonSyntaxError&) = default;
};

// One element of the list: its template (UTF-8, as JSON holds it), or nothing for an element
// that is neither a string nor an object with a string "url" member. Returns false to stop.
using JsonElementVisitor = std::function<bool(std::optional<std::string_view> templateUtf8)>;

struct JsonListRead
{
    // Elements of the top-level array seen (all of them unless stopped or broken).
    std::size_t elements = 0;
    // The visitor asked to stop.
    bool stopped = false;
    // Set when the text is not a JSON array: nothing after the error was visited.
    std::optional<JsonSyntaxError> error;
};

// Reads `text` (UTF-8, without a byte-order mark) as a JSON template list and hands every
// element of the top-level array to `visit` (which may be empty, to check and count only). A
// top-level value that is not an array is an error; a string that is not valid UTF-8 is one
// too, found by the parser.
[[nodiscard]] JsonListRead readJsonTemplateList(std::string_view text, const JsonElementVisitor& visit = {});

} // namespace tavrin::library
