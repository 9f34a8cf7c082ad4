// A new folder of the program's own under the system's temporary folder ($TMPDIR or /tmp on
// POSIX, GetTempPath's on Windows), that nobody else can have put a link into.
#pragma once

#include <filesystem>
#include <string_view>

namespace tavrin::base {

// Makes "<temporary folder>/<prefix>XXXXXX" with a fresh name, readable by this user alone on
// POSIX (on Windows the user's temporary folder is private already). Empty when none can be made.
[[nodiscard]] std::filesystem::path makePrivateTempFolder(std::string_view prefix);

} // namespace tavrin::base
