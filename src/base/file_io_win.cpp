// Reading and saving files with Windows' own calls, every path in UTF-16: a library in a folder
// with a Chinese name must open, whatever the system's "ANSI" code page.
#include "base/file_io.h"

#include "base/file_io_system.h"
#include "base/windows_error.h"

#include <windows.h>

namespace tavrin::base {

namespace {

// Owns a file HANDLE.
class FileHandle
{
public:
    explicit FileHandle(HANDLE handle)
        : handle_(handle)
    {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle()
    {
        if (valid())
            ::CloseHandle(handle_);
    }
    [[nodiscard]] HANDLE get() const { return handle_; }
    [[nodiscard]] bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

HANDLE asHandle(std::intptr_t file)
{
    return reinterpret_cast<HANDLE>(file); // NOLINT(performance-no-int-to-ptr)
}

// The largest piece one ReadFile or WriteFile call is given (their sizes are 32-bit).
constexpr std::size_t kMaxPiece = std::size_t{1} << 30;

} // namespace

ReadResult readWholeFile(const std::filesystem::path& path, std::uintmax_t limit)
{
    // Others may go on reading, writing and even renaming the file meanwhile, as on POSIX. A
    // folder does not open without FILE_FLAG_BACKUP_SEMANTICS, so it reads as unreadable.
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return {};
    // A pipe or a device picked by mistake is refused, as on POSIX.
    LARGE_INTEGER size{};
    if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileSizeEx(file.get(), &size))
        return {};
    return detail::readToEnd(static_cast<std::uintmax_t>(size.QuadPart), limit,
                             [&file](char* into, std::size_t wanted) -> long long {
                                 DWORD got = 0;
                                 const auto piece = static_cast<DWORD>(std::min(wanted, kMaxPiece));
                                 if (!::ReadFile(file.get(), into, piece, &got, nullptr))
                                     return -1;
                                 return got;
                             });
}

void AtomicFileWriter::create(TargetLink link)
{
    // A link that is to be replaced is looked at itself: MoveFileEx replaces the link, not what
    // it points to.
    const DWORD attributes = ::GetFileAttributesW(target_.c_str());
    const bool isLink = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(link == TargetLink::Replace && isLink)) {
        failure_ = "is a directory";
        return;
    }

    // A name that is taken (a temporary file left by a save that was killed, say) is no reason
    // to fail: another one is drawn.
    std::filesystem::path temporary;
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 100 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = detail::temporarySibling(target_);
        // Private while it is written: shared with nobody until it is put in place.
        handle = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        error = handle == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            break;
    }
    if (handle == INVALID_HANDLE_VALUE) {
        failure_ = windowsErrorText("create", error);
        return;
    }
    file_ = reinterpret_cast<std::intptr_t>(handle);
    temporary_ = temporary;
}

void AtomicFileWriter::writeAll(std::string_view bytes)
{
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto piece = static_cast<DWORD>(std::min(bytes.size(), kMaxPiece));
        if (!::WriteFile(asHandle(file_), bytes.data(), piece, &written, nullptr)) {
            failure_ = windowsErrorText("write", ::GetLastError());
            return;
        }
        bytes.remove_prefix(written);
    }
}

void AtomicFileWriter::putInPlace()
{
    if (!::FlushFileBuffers(asHandle(file_))) {
        failure_ = windowsErrorText("sync", ::GetLastError());
        return;
    }
    const bool closed = ::CloseHandle(asHandle(file_));
    file_ = -1;
    if (!closed) {
        failure_ = windowsErrorText("close", ::GetLastError());
        return;
    }
    // Write-through: the call returns once the move is on the disk, as the POSIX build syncs
    // the folder after its rename.
    if (!::MoveFileExW(temporary_.c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        failure_ = windowsErrorText("rename", ::GetLastError());
        return;
    }
    temporary_.clear();
}

void AtomicFileWriter::discard()
{
    if (file_ != -1) {
        ::CloseHandle(asHandle(file_));
        file_ = -1;
    }
    if (!temporary_.empty()) {
        ::DeleteFileW(temporary_.c_str());
        temporary_.clear();
    }
    buffer_.clear();
}

} // namespace tavrin::base
