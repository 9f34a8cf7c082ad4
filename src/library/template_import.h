// Reading a template file in any form the program takes: its own library format, UTF-8 text
// written by other tools, and JSON lists. Every entry comes out as the program's own template:
// GBK, with the placeholders of other tools turned into "{$url}" (placeholders.h), or it is
// skipped and counted.
//
// Which form a file is in is decided from its bytes alone, before a single entry is handed
// out (a file that cannot be read whole adds nothing):
//   1. The text ends at a NUL byte that only zero bytes follow; text after a NUL byte makes the
//      file no text at all (a picture, a program, UTF-16).
//   2. A UTF-8 byte-order mark at the start is dropped and makes the file UTF-8.
//   3. When the first non-blank character is '[', the file is a JSON list if it parses as one.
//      When it does not, but the '[' is followed by '"', '{' or ']' (a list of strings or of
//      objects, or an empty one), the file meant to be JSON and is refused with the place of
//      the error; otherwise it is text that happens to start with a bracket ("[DOMAIN]...").
//   4. Text holding only ASCII reads the same in GBK and UTF-8; only its line ends matter. With
//      a CR LF anywhere it is the library format. With none, but with LF line ends and a URL
//      or a placeholder in it, it is a list another tool wrote with LF line ends, read as UTF-8
//      text; other text keeps the library format's reading (a lone LF separates nothing).
//   5. Other text is UTF-8 when it reads as UTF-8 (text::looksLikeUtf8): GBK text of more than
//      a word or two is almost never well-formed UTF-8. A short GBK text can be, though ("站"
//      is D5 BE, which UTF-8 reads as an Armenian letter), and then its UTF-8 reading is
//      mostly of characters GBK cannot hold. So when more of the lines with non-ASCII
//      characters would lose a character to GBK than keep them all, and the bytes are
//      well-formed GBK, the file is read as GBK: a library this program saved always loads
//      back as it was, unless its every non-ASCII character is also a UTF-8 sequence of a
//      character GBK holds (Cyrillic and Greek letters, some Latin ones), the one case no
//      reading of the bytes can tell apart.
//   6. Everything else is the library format: GBK, lines separated by CR LF exactly.
// The library format keeps its exact rule because a saved library must load back byte for
// byte. UTF-8 text may end its lines in LF or CR LF (the CR is dropped); other rules are those
// of the library format: a final line end adds no entry, an empty line in the middle is an
// empty entry. A JSON list has no lines to keep in place: its empty or blank strings are
// skipped as no template.
#pragma once

#include "library/json_template_list.h"
#include "library/template_file.h"
#include "text/gbk_text.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

namespace tavrin::library {

enum class TemplateFormat
{
    // The program's own: GBK, lines separated by CR LF.
    Library,
    // UTF-8 text (with or without a byte-order mark), lines ended by LF or CR LF.
    Utf8Text,
    // A JSON array of strings or of objects with a "url" member.
    JsonList,
};

// Entries that did not become templates, by why.
struct SkippedTemplates
{
    // A placeholder no host can stand for ({{ID}}, {{SECOND_LEVEL_DOMAIN}}).
    std::size_t unmappable = 0;
    // Characters GBK cannot hold, or bytes that are not UTF-8 in a UTF-8 file.
    std::size_t notGbk = 0;
    // A JSON element that is neither a string nor an object with a string "url" member, one
    // whose string is empty or only blanks, or a template that runs over several lines.
    std::size_t notTemplate = 0;

    [[nodiscard]] std::size_t total() const { return unmappable + notGbk + notTemplate; }
    friend bool operator==(const SkippedTemplates&, const SkippedTemplates&) = default;
};

struct ImportOptions
{
    // A literal host a list uses in place of a placeholder ("example.com"): each occurrence that
    // stands as a host of its own becomes "{$url}" before placeholders are mapped (see
    // replaceSampleHost). GBK (a host is ASCII); empty for none.
    text::Text sampleHost;
};

class TemplateImport
{
public:
    enum class Check
    {
        Ok,
        // Text continues after a NUL byte.
        NotText,
        // More entries than the limit.
        TooManyEntries,
        // A JSON list that does not parse; syntaxError() says where.
        Malformed,
    };

    // Examines a file's bytes (which must outlive this object): its form, and whether it can be
    // taken (entries counted against `maxEntries`, skipped ones included). Nothing is converted
    // yet.
    explicit TemplateImport(std::string_view fileBytes, ImportOptions options = {},
                            std::size_t maxEntries = kMaxTemplateEntries);

    [[nodiscard]] Check check() const { return check_; }
    [[nodiscard]] TemplateFormat format() const { return format_; }
    [[nodiscard]] const std::optional<JsonSyntaxError>& syntaxError() const { return syntaxError_; }

    // Receives each template (GBK, placeholders mapped; valid only during the call) in file
    // order and returns false to stop.
    using Take = std::function<bool(std::string_view templateText)>;
    // Hands every entry that is a usable template to `take` and counts the others in
    // `skipped`. Nothing happens unless check() is Ok. False when `take` stopped it.
    bool forEach(const Take& take, SkippedTemplates& skipped) const;

private:
    std::string_view text_; // the bytes before the NUL, without a byte-order mark
    ImportOptions options_;
    Check check_ = Check::Ok;
    TemplateFormat format_ = TemplateFormat::Library;
    std::optional<JsonSyntaxError> syntaxError_;
};

// The GBK text of a UTF-8 one, or nothing when it holds a character GBK cannot, or bytes that
// are not UTF-8.
[[nodiscard]] std::optional<text::Text> utf8ToGbkExactly(std::string_view utf8);

} // namespace tavrin::library
