// What tells whether a file is still as the program left it: its identity on the disk, its size
// and its time of change, as one line of text ("-" when there is no such file).
#pragma once

#include <filesystem>
#include <string>

namespace tavrin::history {

[[nodiscard]] std::string fileStampLine(const std::filesystem::path& file);

} // namespace tavrin::history
