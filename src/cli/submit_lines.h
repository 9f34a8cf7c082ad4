// The lines tavrin-cli submit prints of its run, in English (UTF-8): the load, the row being
// checked, the end of each pass and the save. Each is built in one place so that what a script
// reads from the output has a single definition.
#pragma once

#include "cli/pass_printer.h"
#include "library/url_library.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace tavrin::cli {

// "1 template", "2 templates".
[[nodiscard]] std::string templateCount(int count);

// "loaded 400 templates from FILE", and " (3 skipped: ...)" when some could not be used.
[[nodiscard]] std::string loadedLine(const library::LoadResult& loaded);

// "checking 12/400: URL".
[[nodiscard]] std::string checkingLine(const PassProgress& progress);

// How a pass ended: rows with √, rows with ×, and the rows of the pass.
struct PassTally
{
    int succeeded = 0;
    int failed = 0;
    int rows = 0;
    // The rows of the pass that got no verdict: not reached, stopped while being checked, or
    // checked without a √ or × (a row no proxy could carry, say).
    [[nodiscard]] int notChecked() const { return rows - succeeded - failed; }
};

// "pass N: √ S, × F, not checked K", with " (stopped)" after a pass that was stopped.
[[nodiscard]] std::string passSummaryLine(int pass, const PassTally& tally, bool stopped);

// "saved N templates to FILE", with " (K marked × left out)" when rows were left out.
[[nodiscard]] std::string savedLine(int saved, int leftOut, const std::filesystem::path& path);

// "tavrin-cli: cannot save the templates to FILE (REASON); the file was left as it was".
[[nodiscard]] std::string saveFailedLine(const std::filesystem::path& path, std::string_view failure);

} // namespace tavrin::cli
