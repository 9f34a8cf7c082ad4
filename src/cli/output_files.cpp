#include "cli/output_files.h"

#include "base/file_io.h"
#include "base/utf8_path.h"
#include "cli/cli_texts.h"

#include <ostream>
#include <system_error>

namespace tavrin::cli {

namespace {

namespace fs = std::filesystem;

// The same file, whether named alike or not (relative, through a link, with "..").
bool sameFile(const fs::path& a, const fs::path& b)
{
    std::error_code error;
    const fs::path first = fs::weakly_canonical(a, error);
    if (error)
        return false;
    const fs::path second = fs::weakly_canonical(b, error);
    return !error && first == second;
}

} // namespace

std::string whyNotWritable(const fs::path& path)
{
    if (!path.has_filename())
        return std::string(texts::kNamesNoFile);
    std::string failure;
    {
        // Destroyed uncommitted: its temporary file is removed and the target left alone.
        const base::AtomicFileWriter probe(path);
        failure = probe.failure();
    }
    if (failure.empty())
        return {};
    std::error_code error;
    const fs::path target = fs::absolute(path, error);
    if (fs::is_directory(target, error))
        return std::string(texts::kIsAFolder);
    const fs::path folder = target.parent_path();
    // The nearest folder of the path that is there tells what is wrong with it.
    for (fs::path above = folder; !above.empty(); above = above.parent_path()) {
        if (fs::exists(above, error)) {
            if (!fs::is_directory(above, error))
                return base::utf8FromPath(above) + std::string(texts::kNotAFolder);
            if (above != folder)
                return std::string(texts::kNoFolder) + base::utf8FromPath(folder);
            break;
        }
        if (above == above.parent_path())
            break;
    }
    return std::string(texts::kNoFileIn) + base::utf8FromPath(folder) + " (" + failure + ")";
}

bool outputUsable(const NamedFile& output, const std::vector<NamedFile>& mustNotBe, std::ostream& err)
{
    for (const NamedFile& other : mustNotBe) {
        if (!other.path.empty() && sameFile(output.path, other.path)) {
            err << texts::kRefusedValue << output.option << ' ' << base::utf8FromPath(output.path)
                << texts::kAlsoGivenTo << other.option << texts::kWouldReplace << '\n';
            return false;
        }
    }
    const std::string why = whyNotWritable(output.path);
    if (!why.empty()) {
        err << texts::kCannotWriteOutput << output.option << ' ' << base::utf8FromPath(output.path) << ": "
            << why << '\n';
        return false;
    }
    return true;
}

} // namespace tavrin::cli
