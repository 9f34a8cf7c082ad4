// The entries of a small list file the user keeps (proxies, sites): one a line, spaces around it
// and a CR before the line end ignored, blank lines and lines starting with "#" left out.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tavrin::cli {

struct ListedLine
{
    int number = 0; // from 1, as an editor counts
    std::string text;
};

// The entries of `file`; nothing when it cannot be read (missing, a folder, over 1 MiB).
[[nodiscard]] std::optional<std::vector<ListedLine>> readListedLines(const std::string& file);

} // namespace tavrin::cli
