// The file of the running program, from the system rather than from argv[0] (which a shell or a
// link may have named differently).
#pragma once

#include <filesystem>

namespace tavrin::cli {

// The running executable's full path; empty when the system does not say.
[[nodiscard]] std::filesystem::path runningProgramFile();

} // namespace tavrin::cli
