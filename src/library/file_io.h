// Whole-file reads and crash-safe writes for the library files.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace tavrin::library {

// Files above this size are refused instead of read: a template library is a few megabytes at
// most, and reading a mistaken multi-gigabyte pick would exhaust memory.
inline constexpr std::uintmax_t kMaxLibraryFileBytes = 256ull * 1024 * 1024;

struct ReadResult
{
    enum class Status
    {
        Ok,
        // Missing, a directory, or not readable: reads as no bytes.
        Unreadable,
        TooLarge,
    };
    Status status = Status::Unreadable;
    std::string bytes;
};

[[nodiscard]] ReadResult readWholeFile(const std::filesystem::path& path,
                                       std::uintmax_t limit = kMaxLibraryFileBytes);

// What writeFileAtomically does when the target is a symbolic link.
enum class TargetLink
{
    // Update the file the link points to, as an in-place write would (saving a library).
    WriteThrough,
    // Replace the link itself with the new file, so that nothing outside the target's folder is
    // ever written (a downloaded file, whose folder is all the download may touch).
    Replace,
};

// Writes `bytes` to a temporary file in the target's folder and renames it over the target, so
// the old file stays intact until the new one is complete on disk. An existing target keeps its
// permission bits. Returns an empty string on success, else a short reason.
[[nodiscard]] std::string writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                              TargetLink link = TargetLink::WriteThrough);

} // namespace tavrin::library
