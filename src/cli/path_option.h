// Options that name a file. The command line's arguments are UTF-8 (cli/console.h); a path is
// made from them explicitly, because on Windows a path built from a narrow string would read it
// in the "ANSI" code page and garble a Chinese folder name.
#pragma once

#include <CLI/CLI.hpp>

#include <filesystem>
#include <string>

namespace tavrin::cli {

// Adds an option (or positional argument) `name` whose value, read as UTF-8, is stored as a path
// in `target`.
CLI::Option* addPathOption(CLI::App& command, const std::string& name, std::filesystem::path& target,
                           const std::string& help);

} // namespace tavrin::cli
