#include "cli/submit_lines.h"

#include "base/utf8_path.h"
#include "cli/cli_texts.h"
#include "cli/load_refusal.h"
#include "text/encoding.h"
#include "text/messages.h"

namespace tavrin::cli {

std::string templateCount(int count)
{
    return std::to_string(count) + std::string(count == 1 ? texts::kTemplate : texts::kTemplates);
}

std::string loadedLine(const library::LoadResult& loaded)
{
    std::string line = std::string(texts::kLoaded) + templateCount(static_cast<int>(loaded.added)) +
                       std::string(texts::kFrom) + base::utf8FromPath(loaded.path);
    if (loaded.skipped.total() > 0)
        line += " (" + skippedSummary(loaded.skipped) + ")";
    return line;
}

std::string checkingLine(const PassProgress& progress)
{
    return std::string(texts::kChecking) + std::to_string(progress.started) + "/" +
           std::to_string(progress.rows) + ": " + text::gbkToUtf8(progress.url);
}

std::string passSummaryLine(int pass, const PassTally& tally, bool stopped)
{
    std::string line = std::string(texts::kPassSummary) + std::to_string(pass) + ": " +
                       text::gbkToUtf8(msg::kMarkSuccess) + ' ' + std::to_string(tally.succeeded) + ", " +
                       text::gbkToUtf8(msg::kMarkFailure) + ' ' + std::to_string(tally.failed) + ", " +
                       std::string(texts::kNotCheckedLabel) + std::to_string(tally.notChecked());
    if (stopped)
        line += texts::kPassStopped;
    return line;
}

std::string savedLine(int saved, int leftOut, const std::filesystem::path& path)
{
    std::string line = std::string(texts::kSaved) + templateCount(saved) + std::string(texts::kSavedTo) +
                       base::utf8FromPath(path);
    if (leftOut > 0)
        line += " (" + std::to_string(leftOut) + std::string(texts::kLeftOutFailed);
    return line;
}

std::string saveFailedLine(const std::filesystem::path& path, std::string_view failure)
{
    return std::string(texts::kCannotSave) + base::utf8FromPath(path) + " (" + std::string(failure) + ")" +
           std::string(texts::kLeftAsItWas);
}

} // namespace tavrin::cli
