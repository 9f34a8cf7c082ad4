#include "library/library_messages.h"

#include "base/utf8_path.h"
#include "text/encoding.h"
#include "text/messages.h"

namespace tavrin::library {

namespace {

using text::Text;

Text displayName(const std::filesystem::path& path)
{
    // Qt's dialogs give paths with forward slashes; Windows users read backslashes.
    std::filesystem::path shown = path;
    return text::utf8ToGbk(base::utf8FromPath(shown.make_preferred()));
}

} // namespace

Text loadMessage(const LoadResult& result)
{
    switch (result.outcome) {
    case LoadResult::Outcome::TooLarge:
        return msg::kImportTooLarge + displayName(result.path);
    case LoadResult::Outcome::NotText:
        return msg::kImportNotText + displayName(result.path);
    case LoadResult::Outcome::TooManyEntries:
        return msg::kImportTooManyEntries + displayName(result.path);
    case LoadResult::Outcome::Malformed: {
        const JsonSyntaxError where = result.syntaxError.value_or(JsonSyntaxError{});
        return msg::kImportBadJson + text::decimal(static_cast<long long>(where.line)) +
               msg::kImportBadJsonLine + text::decimal(static_cast<long long>(where.column)) +
               msg::kImportBadJsonColumn + displayName(result.path);
    }
    case LoadResult::Outcome::Loaded:
    case LoadResult::Outcome::Unreadable:
    case LoadResult::Outcome::Stopped:
        break;
    }
    const Text added = msg::kImported + text::decimal(static_cast<long long>(result.added));
    const Text total = text::decimal(result.total) + msg::kUrls;
    // With nothing skipped the line reads as it always did.
    if (result.skipped.total() == 0)
        return added + msg::kUrlsTotal + total;
    return added + msg::kUrlsSkipped + text::decimal(static_cast<long long>(result.skipped.total())) +
           msg::kSkippedTotal + total;
}

Text insertedMessage(int total)
{
    return msg::kInsertedOne + text::decimal(total) + msg::kUrls;
}

Text deletedMessage(int total)
{
    return text::replaceAll(msg::kDeletedOne, msg::kNumberSlot, text::decimal(total));
}

Text clearedMessage(int total)
{
    return msg::kCleared + text::decimal(total) + msg::kUrls;
}

Text savedMessage(int rows, const std::filesystem::path& path)
{
    // The number first: a file name may hold anything, a slot's name included.
    const Text counted = text::replaceAll(msg::kSaved, msg::kNumberSlot, text::decimal(rows));
    return text::replaceAll(counted, msg::kPathSlot, displayName(path));
}

Text saveFailedMessage(const std::filesystem::path& path, std::string_view failure)
{
    return msg::kSaveFailed + displayName(path) + text::utf8ToGbk("（") + text::utf8ToGbk(failure) +
           text::utf8ToGbk("）");
}

} // namespace tavrin::library
