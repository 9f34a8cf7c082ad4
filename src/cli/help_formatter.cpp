#include "cli/help_formatter.h"

#include "cli/cli_texts.h"

#include <vector>

namespace tavrin::cli {

namespace {

// The columns are set apart by at least this many spaces.
constexpr std::size_t kColumnGap = 2;

// " (OPENING--a, --b)" for the options named, nothing for none.
std::string namedOptions(std::string_view opening, const std::set<CLI::Option*>& options)
{
    if (options.empty())
        return {};
    std::string said = " (" + std::string(opening);
    bool first = true;
    for (const CLI::Option* other : options) {
        if (!first)
            said += ", ";
        said += other->get_name();
        first = false;
    }
    return said + ")";
}

} // namespace

std::string HelpFormatter::make_option(const CLI::Option* option, bool isPositional) const
{
    const std::string left = "  " + make_option_name(option, isPositional) + make_option_opts(option);
    const std::string description = make_option_desc(option);
    std::string line = left;
    if (!description.empty()) {
        const std::string indent(column_width_, ' ');
        if (left.size() + kColumnGap > column_width_)
            line += '\n' + indent;
        else
            line.append(column_width_ - left.size(), ' ');
        for (const char c : description) {
            line += c;
            if (c == '\n')
                line += indent;
        }
    }
    return line + '\n';
}

std::string HelpFormatter::make_option_opts(const CLI::Option* option) const
{
    if (!option->get_option_text().empty())
        return " " + option->get_option_text();
    std::string opts;
    if (option->get_type_size() != 0) {
        if (!option->get_type_name().empty())
            opts += " " + get_label(option->get_type_name());
        if (!option->get_default_str().empty())
            opts += "=" + option->get_default_str();
        if (option->get_expected_max() == CLI::detail::expected_max_vector_size)
            opts += " ...";
        else if (option->get_expected_min() > 1)
            opts += " x " + std::to_string(option->get_expected());
        if (option->get_required())
            opts += " " + get_label("REQUIRED");
    }
    return opts;
}

std::string HelpFormatter::make_option_desc(const CLI::Option* option) const
{
    return option->get_description() + namedOptions(texts::kHelpNeeds, option->get_needs()) +
           namedOptions(texts::kHelpNotWith, option->get_excludes());
}

} // namespace tavrin::cli
