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

// Writes `bytes` to a temporary file in the target's folder and renames it over the target, so
// the old file stays intact until the new one is complete on disk. An existing target keeps its
// permission bits. Returns an empty string on success, else a short reason.
[[nodiscard]] std::string writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

} // namespace tavrin::library
