// Paths and UTF-8. The program takes paths typed as UTF-8 (the command line's options) and shows
// them, or hands them to interfaces that take UTF-8 (SQLite), as UTF-8. On POSIX a path is bytes
// and these are copies; on Windows a path is UTF-16, and the standard library would read a
// narrow string in the "ANSI" code page, so the conversions are spelt out.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tavrin::base {

// The path `utf8` names. On Windows a byte that is not UTF-8 becomes U+FFFD.
[[nodiscard]] std::filesystem::path pathFromUtf8(std::string_view utf8);

// `path` as UTF-8 (on POSIX its bytes as they are). On Windows a lone surrogate becomes U+FFFD.
// Never throws.
[[nodiscard]] std::string utf8FromPath(const std::filesystem::path& path);

} // namespace tavrin::base
