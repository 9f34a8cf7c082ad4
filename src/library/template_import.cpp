#include "library/template_import.h"

#include "library/placeholders.h"
#include "text/charset.h"
#include "text/encoding.h"
#include "text/utf8_sequence.h"

#include <algorithm>

namespace tavrin::library {

using text::Text;

namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\r\n";

bool isAscii(std::string_view bytes)
{
    return std::none_of(bytes.begin(), bytes.end(), [](char byte) { return (byte & 0x80) != 0; });
}

// The lines of UTF-8 text: split at every LF, a CR right before it dropped; a final LF adds no
// line. Lines point into the text.
class Utf8LineReader
{
public:
    explicit Utf8LineReader(std::string_view text)
        : rest_(text)
    {}

    [[nodiscard]] std::optional<std::string_view> next()
    {
        if (rest_.empty())
            return std::nullopt;
        const std::size_t end = rest_.find('\n');
        if (end == std::string_view::npos) {
            const std::string_view last = rest_;
            rest_ = {};
            return last;
        }
        std::string_view line = rest_.substr(0, end);
        rest_.remove_prefix(end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        return line;
    }

private:
    std::string_view rest_;
};

// At least one well-formed UTF-8 sequence of two or more bytes: text::looksLikeUtf8 forgives a
// character cut off at the very end (a page cut in transit), which a file is not.
bool holdsUtf8Sequence(std::string_view bytes)
{
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        if ((bytes[at] & 0x80) != 0 && text::wellFormedUtf8Length(bytes.substr(at)) >= 2)
            return true;
    }
    return false;
}

// Nothing but blanks (the ideographic space U+3000 among them), or nothing at all.
bool isBlank(std::string_view utf8)
{
    constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";
    while (!utf8.empty()) {
        if (utf8.front() == ' ' || utf8.front() == '\t' || utf8.front() == '\f' || utf8.front() == '\v')
            utf8.remove_prefix(1);
        else if (utf8.starts_with(kIdeographicSpace))
            utf8.remove_prefix(kIdeographicSpace.size());
        else
            return false;
    }
    return true;
}

// Every lead byte (0x81..0xFE) followed by a trail byte (0x40..0x7E, 0x80..0xFE), and no byte
// 0x80 or 0xFF on its own.
bool isWellFormedGbk(std::string_view bytes)
{
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        if (byte < 0x80)
            continue;
        if (!text::isLeadByte(byte) || at + 1 == bytes.size())
            return false;
        const auto trail = static_cast<unsigned char>(bytes[++at]);
        if (trail < 0x40 || trail == 0x7F || trail == 0xFF)
            return false;
    }
    return true;
}

// True when more lines with non-ASCII characters would lose one of them to GBK in the UTF-8
// reading than would keep them all: the mark of GBK bytes that merely happen to be UTF-8.
bool utf8ReadingLosesMost(std::string_view text)
{
    std::size_t kept = 0;
    std::size_t lost = 0;
    Utf8LineReader reader(text);
    while (const std::optional<std::string_view> line = reader.next()) {
        if (isAscii(*line))
            continue;
        if (utf8ToGbkExactly(*line))
            ++kept;
        else
            ++lost;
    }
    return lost > kept;
}

// Whether a text that starts with '[' shows it means to be JSON: the bracket is followed by a
// string, an object or the end of an empty array.
bool meantAsJson(std::string_view text)
{
    const std::size_t open = text.find_first_not_of(kBlanks);
    const std::size_t next = text.find_first_not_of(kBlanks, open + 1);
    return next != std::string_view::npos && (text[next] == '"' || text[next] == '{' || text[next] == ']');
}

TemplateFormat textFormat(std::string_view text, bool hadByteOrderMark)
{
    if (hadByteOrderMark)
        return TemplateFormat::Utf8Text;
    if (isAscii(text)) {
        const bool lfOnly =
            text.find("\r\n") == std::string_view::npos && text.find('\n') != std::string_view::npos;
        return lfOnly && (text.find("://") != std::string_view::npos || holdsPlaceholder(text))
                   ? TemplateFormat::Utf8Text
                   : TemplateFormat::Library;
    }
    if (!text::looksLikeUtf8(text) || !holdsUtf8Sequence(text))
        return TemplateFormat::Library;
    if (utf8ReadingLosesMost(text) && isWellFormedGbk(text))
        return TemplateFormat::Library;
    return TemplateFormat::Utf8Text;
}

// Turns one entry into the template it stands for, reusing its buffers from entry to entry.
class EntryConverter
{
public:
    EntryConverter(const ImportOptions& options, SkippedTemplates& skipped)
        : options_(options)
        , skipped_(skipped)
    {}

    // The template of an entry of the library format (GBK already), or nothing when skipped.
    std::optional<std::string_view> fromGbk(std::string_view entry)
    {
        if (!options_.sampleHost.empty()) {
            sampled_ = replaceSampleHost(entry, options_.sampleHost);
            entry = sampled_;
        }
        switch (mapForeignPlaceholders(entry, mapped_)) {
        case PlaceholderMapping::Unchanged:
            return entry;
        case PlaceholderMapping::Mapped:
            return std::string_view(mapped_);
        case PlaceholderMapping::Unmappable:
            break;
        }
        ++skipped_.unmappable;
        return std::nullopt;
    }

    // The same for an entry of UTF-8 text or a JSON list.
    std::optional<std::string_view> fromUtf8(std::string_view entry)
    {
        if (isAscii(entry))
            return fromGbk(entry);
        std::optional<Text> gbk = utf8ToGbkExactly(entry);
        if (!gbk) {
            ++skipped_.notGbk;
            return std::nullopt;
        }
        converted_ = std::move(*gbk);
        return fromGbk(converted_);
    }

private:
    const ImportOptions& options_;
    SkippedTemplates& skipped_;
    Text converted_;
    Text sampled_;
    Text mapped_;
};

} // namespace

TemplateImport::TemplateImport(std::string_view fileBytes, ImportOptions options, std::size_t maxEntries)
    : options_(std::move(options))
{
    text_ = text::untilNul(fileBytes);
    const std::string_view afterText = fileBytes.substr(text_.size());
    if (std::any_of(afterText.begin(), afterText.end(), [](char byte) { return byte != '\0'; })) {
        check_ = Check::NotText;
        return;
    }
    const bool hadByteOrderMark = text_.starts_with(kUtf8ByteOrderMark);
    if (hadByteOrderMark)
        text_.remove_prefix(kUtf8ByteOrderMark.size());

    const std::size_t first = text_.find_first_not_of(kBlanks);
    std::size_t entries = 0;
    if (first != std::string_view::npos && text_[first] == '[') {
        const JsonListRead read = readJsonTemplateList(text_);
        if (!read.error) {
            format_ = TemplateFormat::JsonList;
            entries = read.elements;
        } else if (meantAsJson(text_)) {
            check_ = Check::Malformed;
            syntaxError_ = read.error;
            return;
        }
    }
    if (format_ != TemplateFormat::JsonList) {
        format_ = textFormat(text_, hadByteOrderMark);
        if (format_ == TemplateFormat::Library) {
            for (TemplateLineReader reader(text_); reader.next();)
                ++entries;
        } else {
            for (Utf8LineReader reader(text_); reader.next();)
                ++entries;
        }
    }
    if (entries > maxEntries)
        check_ = Check::TooManyEntries;
}

bool TemplateImport::forEach(const Take& take, SkippedTemplates& skipped) const
{
    if (check_ != Check::Ok)
        return true;
    EntryConverter converter(options_, skipped);
    switch (format_) {
    case TemplateFormat::Library: {
        // The library format is read in place, line by line, as it always was.
        TemplateLineReader reader(text_);
        while (const std::optional<std::string_view> line = reader.next()) {
            const std::optional<std::string_view> converted = converter.fromGbk(*line);
            if (converted && !take(*converted))
                return false;
        }
        return true;
    }
    case TemplateFormat::Utf8Text: {
        Utf8LineReader reader(text_);
        while (const std::optional<std::string_view> line = reader.next()) {
            const std::optional<std::string_view> converted = converter.fromUtf8(*line);
            if (converted && !take(*converted))
                return false;
        }
        return true;
    }
    case TemplateFormat::JsonList: {
        const JsonListRead read = readJsonTemplateList(text_, [&](std::optional<std::string_view> entry) {
            // A template in a library is one line: one that spans several cannot be saved back.
            // An empty or blank string is a list's way of leaving an element out, not a template.
            if (!entry || entry->find_first_of("\r\n") != std::string_view::npos || isBlank(*entry)) {
                ++skipped.notTemplate;
                return true;
            }
            const std::optional<std::string_view> converted = converter.fromUtf8(*entry);
            return !converted || take(*converted);
        });
        return !read.stopped;
    }
    }
    return true;
}

std::optional<Text> utf8ToGbkExactly(std::string_view utf8)
{
    if (isAscii(utf8))
        return Text(utf8);
    // utf8ToGbk writes '?' for what GBK lacks and for bytes that are not UTF-8; the way back
    // then differs from the original.
    Text gbk = text::utf8ToGbk(utf8);
    if (text::gbkToUtf8(gbk) != utf8)
        return std::nullopt;
    return gbk;
}

} // namespace tavrin::library
