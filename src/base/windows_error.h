// Windows' error codes in the words the POSIX build uses for the same failures (strerror's), so
// that a failure reads the same on both systems: "create: No such file or directory".
#pragma once

#include <string>

namespace tavrin::base {

// The errno value that stands for the Windows error `code` (a GetLastError() value); EIO for the
// codes without a counterpart.
[[nodiscard]] int errnoForWindowsError(unsigned long code) noexcept;

// "WHAT: REASON" for the Windows error `code`.
[[nodiscard]] std::string windowsErrorText(const char* what, unsigned long code);

} // namespace tavrin::base
