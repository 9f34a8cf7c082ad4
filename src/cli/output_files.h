// The files a command is to write, checked before it does any work: a run of hours whose report
// or library cannot be written at the end has lost that work.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin::cli {

// A file named by an option ("--json", the path).
struct NamedFile
{
    std::string_view option;
    std::filesystem::path path;
};

// Why `path` cannot be written as the command writes its files (a temporary file beside it,
// renamed over it), in words: there is no folder DIR, DIR is not a folder, a folder is in its
// place, no file can be created in DIR (why). Empty when it can. Tried by creating that
// temporary file and removing it again: nothing is left behind and an existing file is not
// touched.
[[nodiscard]] std::string whyNotWritable(const std::filesystem::path& path);

// Checks that `output` can be written and is none of the files in `mustNotBe` (the files the
// command reads, its other outputs), which writing it would replace. False, with the reason on
// `err`, when it is refused.
[[nodiscard]] bool outputUsable(const NamedFile& output, const std::vector<NamedFile>& mustNotBe,
                                std::ostream& err);

} // namespace tavrin::cli
