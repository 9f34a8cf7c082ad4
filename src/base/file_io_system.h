// Shared by the system files of file_io (file_io_posix.cpp, file_io_win.cpp).
#pragma once

#include "base/file_io.h"

#include <functional>

namespace tavrin::base::detail {

// Reads up to `size` bytes into `into`: how many came, 0 at the end, negative on an error.
using ReadSome = std::function<long long(char* into, std::size_t size)>;

// Reads a file whose size was said to be `statedSize` to its end, never holding more than
// `limit` bytes: a file that grows past the limit while it is read is too large.
[[nodiscard]] ReadResult readToEnd(std::uintmax_t statedSize, std::uintmax_t limit, const ReadSome& readSome);

// A free name for the temporary file beside `target`: ".NAME.tmp-" and twelve random hex digits.
[[nodiscard]] std::filesystem::path temporarySibling(const std::filesystem::path& target);

} // namespace tavrin::base::detail
