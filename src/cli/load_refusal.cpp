#include "cli/load_refusal.h"

#include "base/utf8_path.h"
#include "cli/cli_texts.h"

#include <string_view>

namespace tavrin::cli {

namespace {

std::string fileRefusal(const library::LoadResult& loaded, std::string_view reason)
{
    return std::string(texts::kCannotReadTemplates) + base::utf8FromPath(loaded.path) + std::string(reason);
}

} // namespace

std::optional<std::string> loadRefusal(const library::LoadResult& loaded)
{
    using Outcome = library::LoadResult::Outcome;
    switch (loaded.outcome) {
    case Outcome::Loaded:
        if (loaded.added == 0 && loaded.skipped.total() > 0) {
            return std::string(texts::kNoUsableTemplates) + base::utf8FromPath(loaded.path) +
                   std::string(texts::kCanBeUsed) + skippedSummary(loaded.skipped) + ")";
        }
        return std::nullopt;
    case Outcome::Unreadable:
    case Outcome::Stopped:
        return fileRefusal(loaded, "");
    case Outcome::TooLarge:
        return fileRefusal(loaded, texts::kOver256MB);
    case Outcome::NotText:
        return fileRefusal(loaded, texts::kNotText);
    case Outcome::TooManyEntries:
        return fileRefusal(loaded, texts::kTooManyTemplates);
    case Outcome::Malformed: {
        const library::JsonSyntaxError where = loaded.syntaxError.value_or(library::JsonSyntaxError{});
        return fileRefusal(loaded, std::string(texts::kNotJson) + std::to_string(where.line) +
                                       std::string(texts::kColumn) + std::to_string(where.column) + ": " +
                                       where.reason + ")");
    }
    }
    return fileRefusal(loaded, "");
}

std::string skippedSummary(const library::SkippedTemplates& skipped)
{
    std::string summary = std::to_string(skipped.total()) + std::string(texts::kSkipped);
    const struct
    {
        std::size_t count;
        std::string_view words;
    } reasons[] = {
        {skipped.unmappable, texts::kSkippedUnmappable},
        {skipped.notGbk, texts::kSkippedNotGbk},
        {skipped.notTemplate, texts::kSkippedNotTemplate},
    };
    bool first = true;
    for (const auto& reason : reasons) {
        if (reason.count == 0)
            continue;
        if (!first)
            summary += ", ";
        summary += std::to_string(reason.count) + std::string(reason.words);
        first = false;
    }
    return summary;
}

} // namespace tavrin::cli
