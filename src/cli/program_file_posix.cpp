#include "cli/program_file.h"

#include <system_error>

namespace tavrin::cli {

std::filesystem::path runningProgramFile()
{
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/self/exe", ignored);
}

} // namespace tavrin::cli
