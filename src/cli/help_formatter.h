// How tavrin-cli lays out --help. CLI11's own layout runs an option's "Excludes: --db" into the
// start of its description, and puts a single space between the two columns when the left one
// is one character short of its width, so that the words run together. Here the options an
// option cannot go with, or needs, are said in its description, and the description starts at
// least two spaces after the option or on a line of its own.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace tavrin::cli {

class HelpFormatter final : public CLI::Formatter
{
public:
    std::string make_option(const CLI::Option* option, bool isPositional) const override;
    std::string make_option_opts(const CLI::Option* option) const override;
    std::string make_option_desc(const CLI::Option* option) const override;
};

} // namespace tavrin::cli
