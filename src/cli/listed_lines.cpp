#include "cli/listed_lines.h"

#include "base/file_io.h"
#include "net/request_headers.h"

#include <sstream>

namespace tavrin::cli {

std::optional<std::vector<ListedLine>> readListedLines(const std::string& file)
{
    const base::ReadResult read = base::readWholeFile(file, 1 << 20);
    if (read.status != base::ReadResult::Status::Ok)
        return std::nullopt;
    std::vector<ListedLine> entries;
    std::istringstream lines(read.bytes);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string text = net::trimSpaces(line);
        if (!text.empty() && text.front() != '#')
            entries.push_back(ListedLine{number, std::move(text)});
    }
    return entries;
}

} // namespace tavrin::cli
