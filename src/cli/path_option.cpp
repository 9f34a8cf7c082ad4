#include "cli/path_option.h"

#include "base/utf8_path.h"

namespace tavrin::cli {

CLI::Option* addPathOption(CLI::App& command, const std::string& name, std::filesystem::path& target,
                           const std::string& help)
{
    return command.add_option_function<std::string>(
        name, [&target](const std::string& value) { target = base::pathFromUtf8(value); }, help);
}

} // namespace tavrin::cli
