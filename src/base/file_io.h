// Whole-file reads and crash-safe writes for the library files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tavrin::base {

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
// permission bits (a new one gets those the file-creation mask allows), and the temporary file
// is readable by its owner only until then. Returns an empty string on success, else a short
// reason.
[[nodiscard]] std::string writeFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                                              TargetLink link = TargetLink::WriteThrough);

// writeFileAtomically for content that arrives in pieces and need not be held in memory whole
// (a report of every row of every pass): the pieces go to the temporary file as they come, and
// commit() puts it in place. A writer destroyed without a commit removes its temporary file and
// leaves the target as it was. One thread at a time.
class AtomicFileWriter
{
public:
    explicit AtomicFileWriter(const std::filesystem::path& path, TargetLink link = TargetLink::WriteThrough);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Why the file cannot be written, as far as is known yet: a writer that could not create its
    // temporary file says so at once, before anything is appended. Empty while all is well.
    [[nodiscard]] const std::string& failure() const { return failure_; }
    // Adds bytes at the end. Nothing happens after a failure; commit() reports it.
    void append(std::string_view bytes);
    // Completes the file on disk and renames it over the target. Returns an empty string on
    // success, else a short reason for the first failure since the writer was made. Once only.
    [[nodiscard]] std::string commit();

private:
    void flush();
    void discard();

    // The system's part (file_io_posix.cpp, file_io_win.cpp): making the temporary file, writing
    // to it, putting it in place, throwing it away.
    void create(TargetLink link);
    // Writes all of `bytes` to the temporary file; a failure is kept in failure_.
    void writeAll(std::string_view bytes);
    void putInPlace();

    std::filesystem::path target_;
    std::filesystem::path temporary_; // empty when none was created
    // The temporary file: a file descriptor, or a Windows HANDLE; -1 is the invalid value of both.
    std::intptr_t file_ = -1;
    // The target's permission bits, which the new file takes (POSIX).
    bool keepMode_ = false;
    unsigned keptMode_ = 0;
    std::string buffer_;
    std::string failure_;
};

} // namespace tavrin::base
