// What loading a template file costs in memory, headless (the list store without a view):
//   - resident memory once the rows are in the list, per row;
//   - the peak while loading, per row (the loader's own buffers included);
//   - the load time.
// The file is written in pieces, so the figures are the loader's and the list's alone.
// Usage: tavrin_library_load_bench [rows] [line]   (default 1000000 rows of "a"; use a longer
// line such as "http://rank.example/site/{$url}/info" for realistic rows)
#include "library/library_messages.h"
#include "library/url_library.h"
#include "support/temp_dir.h"
#include "text/encoding.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

// A figure of /proc/self/status in KiB ("VmRSS", "VmHWM"), or -1.
long statusKiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field + ":"))
            return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

// Lets the next VmHWM reading start from the present resident size.
void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

} // namespace

int main(int argc, char** argv)
{
    using namespace tavrin;
    const long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
    const std::string line = argc > 2 ? argv[2] : "a";

    testing_support::TempDir dir;
    const auto file = dir / "many.txt";
    {
        std::ofstream out(file, std::ios::binary);
        std::string piece;
        for (long i = 0; i < rows; ++i) {
            piece += line + "\r\n";
            if (piece.size() > (1 << 20)) {
                out << piece;
                piece.clear();
            }
        }
        out << piece;
    }

    base::ListStore list;
    library::UrlLibrary library(list, "http://www.example.com/");

    resetPeak();
    const long before = statusKiB("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    const library::LoadResult result = library.load(file);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long after = statusKiB("VmRSS");
    const long peak = statusKiB("VmHWM");

    const long loaded = list.rowCount();
    const double perRow =
        loaded > 0 ? 1024.0 * static_cast<double>(after - before) / static_cast<double>(loaded) : 0;
    const double peakPerRow =
        rows > 0 ? 1024.0 * static_cast<double>(peak - before) / static_cast<double>(rows) : 0;
    std::printf("file: %ld lines of %zu bytes (%.1f MB)\n", rows, line.size(),
                static_cast<double>(rows) * static_cast<double>(line.size() + 2) / 1e6);
    std::printf("status: %s\n", text::gbkToUtf8(library::loadMessage(result)).c_str());
    std::printf("rows in the list: %ld\n", loaded);
    std::printf("load time: %.2f s\n", seconds);
    std::printf("resident after the load: +%.1f MB (%.0f bytes per row)\n", (after - before) / 1024.0,
                perRow);
    std::printf("peak while loading: +%.1f MB (%.0f bytes per line of the file)\n", (peak - before) / 1024.0,
                peakPerRow);
    return 0;
}
