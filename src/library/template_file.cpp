#include "library/template_file.h"

#include <algorithm>

namespace tavrin::library {

namespace {

// A CR can never be the second byte of a double-byte character, so every CR LF of the bytes
// is a separator: a plain byte search splits exactly where a character-aware one would.
constexpr std::string_view kSeparator = "\r\n";

} // namespace

TemplateTextCheck checkTemplateText(std::string_view fileBytes, std::size_t maxEntries)
{
    const std::string_view text = text::untilNul(fileBytes);
    const std::string_view afterText = fileBytes.substr(text.size());
    if (std::any_of(afterText.begin(), afterText.end(), [](char byte) { return byte != '\0'; }))
        return TemplateTextCheck::NotText;
    std::size_t entries = 0;
    for (TemplateLineReader reader(text); reader.next();) {
        if (++entries > maxEntries)
            return TemplateTextCheck::TooManyEntries;
    }
    return TemplateTextCheck::Ok;
}

TemplateLineReader::TemplateLineReader(std::string_view fileBytes)
    : rest_(text::untilNul(fileBytes))
{}

std::optional<std::string_view> TemplateLineReader::next()
{
    if (rest_.empty())
        return std::nullopt;
    const std::size_t end = rest_.find(kSeparator);
    if (end == std::string_view::npos) {
        const std::string_view last = rest_;
        rest_ = {};
        return last;
    }
    const std::string_view line = rest_.substr(0, end);
    rest_.remove_prefix(end + kSeparator.size());
    return line;
}

std::vector<Text> templateLines(std::string_view fileBytes)
{
    std::vector<Text> lines;
    TemplateLineReader reader(fileBytes);
    while (const std::optional<std::string_view> line = reader.next())
        lines.emplace_back(*line);
    return lines;
}

} // namespace tavrin::library
