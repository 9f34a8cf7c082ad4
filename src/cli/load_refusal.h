// What the command line says when a template file gives it nothing to work with, shared by the
// commands that read one.
#pragma once

#include "library/template_import.h"
#include "library/url_library.h"

#include <filesystem>
#include <optional>
#include <string>

namespace tavrin::cli {

// The line for standard error when `loaded` leaves a command nothing to do (exit code 2):
// "tavrin-cli: cannot read the template file FILE (reason)" for a file that is missing, too
// large, not text, too long or broken JSON (with the line and column), and "tavrin-cli: no
// template in FILE can be used (N skipped: ...)" for a list of nothing but skipped templates.
// Nothing when the load gave templates, or the file was simply empty.
[[nodiscard]] std::optional<std::string> loadRefusal(const library::LoadResult& loaded);

// "N skipped: K with a placeholder that cannot be mapped, M with characters GBK cannot hold",
// naming only the reasons that occurred.
[[nodiscard]] std::string skippedSummary(const library::SkippedTemplates& skipped);

} // namespace tavrin::cli
