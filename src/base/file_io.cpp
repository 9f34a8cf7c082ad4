#include "base/file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>

namespace tavrin::base {

namespace {

// Owns a POSIX file descriptor.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : fd_(fd)
    {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { close(); }
    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }
    // Closes now and tells whether the close succeeded (a failed close can mean lost data).
    bool close()
    {
        if (fd_ < 0)
            return true;
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0;
    }

private:
    int fd_;
};

std::string errnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::filesystem::path temporarySibling(const std::filesystem::path& target)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    std::string name = "." + target.filename().string() + ".tmp-";
    const char digits[] = "0123456789abcdef";
    for (int i = 0; i < 12; ++i)
        name += digits[random() % 16];
    return target.parent_path() / name;
}

// The process's file-creation mask, read without changing it (umask() can only be read by
// setting it, which would race with files other threads create meanwhile).
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("Umask:"))
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

// Makes the rename itself durable: until the folder's entry reaches the disk, a power cut can
// bring the old file back. Best effort, as the new content is already safe either way.
void syncFolderOf(const std::filesystem::path& target)
{
    FileDescriptor folder(::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        ::fsync(folder.get());
}

} // namespace

ReadResult readWholeFile(const std::filesystem::path& path, std::uintmax_t limit)
{
    ReadResult result;
    // Non-blocking so that a FIFO picked by mistake cannot hang the open; regular files ignore it.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid())
        return result;
    struct stat info
    {
    };
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return result;
    if (static_cast<std::uintmax_t>(info.st_size) > limit) {
        result.status = ReadResult::Status::TooLarge;
        return result;
    }
    result.bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    for (;;) {
        if (filled == result.bytes.size()) {
            // The file may have grown since fstat. Room for more is made only once a byte has
            // come: growing a full buffer first would take twice the file's size every time.
            char probe = 0;
            const ssize_t got = ::read(file.get(), &probe, 1);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                result.bytes.clear();
                return result;
            }
            if (got == 0)
                break;
            if (result.bytes.size() >= limit) {
                result.bytes.clear();
                result.status = ReadResult::Status::TooLarge;
                return result;
            }
            result.bytes.push_back(probe);
            ++filled;
            result.bytes.resize(std::min<std::uintmax_t>(limit, result.bytes.size() + 65536));
            continue;
        }
        const ssize_t got = ::read(file.get(), result.bytes.data() + filled, result.bytes.size() - filled);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            result.bytes.clear();
            return result;
        }
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    result.bytes.resize(filled);
    result.status = ReadResult::Status::Ok;
    return result;
}

std::string writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, TargetLink link)
{
    AtomicFileWriter writer(path, link);
    writer.append(bytes);
    return writer.commit();
}

AtomicFileWriter::AtomicFileWriter(const std::filesystem::path& path, TargetLink link)
{
    if (path.empty() || !path.has_filename()) {
        failure_ = "no file name";
        return;
    }
    target_ = path.is_absolute() ? path : std::filesystem::absolute(path);
    // Saving onto a link updates the file it points to, as an in-place write would.
    std::error_code ignored;
    if (link == TargetLink::WriteThrough && std::filesystem::is_symlink(target_, ignored)) {
        const std::filesystem::path resolved = std::filesystem::canonical(target_, ignored);
        if (!resolved.empty())
            target_ = resolved;
    }

    struct stat existing
    {
    };
    // A link that is to be replaced is looked at itself, never at what it points to.
    const int found = link == TargetLink::Replace ? ::lstat(target_.c_str(), &existing)
                                                  : ::stat(target_.c_str(), &existing);
    if (found == 0) {
        if (S_ISDIR(existing.st_mode)) {
            failure_ = "is a directory";
            return;
        }
        // A replaced link leaves no mode to keep.
        keepMode_ = !S_ISLNK(existing.st_mode);
        keptMode_ = existing.st_mode & 07777;
    }

    // A name that is taken (a temporary file left by a save that was killed, say) is no reason
    // to fail: another one is drawn.
    std::filesystem::path temporary;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temporary = temporarySibling(target_);
        // Private while it is written: the content may be that of a file only its owner may read.
        fd_ = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        failure_ = errnoText("create");
        return;
    }
    temporary_ = temporary;
}

AtomicFileWriter::~AtomicFileWriter()
{
    discard();
}

void AtomicFileWriter::append(std::string_view bytes)
{
    if (!failure_.empty())
        return;
    // Small pieces are gathered so that a report of many short lines costs few system calls;
    // a large piece goes straight to the file instead of being copied.
    constexpr std::size_t kGatherBytes = std::size_t{64} * 1024;
    if (buffer_.size() + bytes.size() <= kGatherBytes) {
        buffer_ += bytes;
        return;
    }
    flush();
    if (bytes.size() < kGatherBytes)
        buffer_ += bytes;
    else if (failure_.empty() && !writeAll(fd_, bytes))
        failure_ = errnoText("write");
}

void AtomicFileWriter::flush()
{
    if (failure_.empty() && !buffer_.empty() && !writeAll(fd_, buffer_))
        failure_ = errnoText("write");
    buffer_.clear();
}

std::string AtomicFileWriter::commit()
{
    flush();
    const mode_t finalMode = keepMode_ ? keptMode_ : (0666 & ~currentUmask());
    if (failure_.empty() && (::fchmod(fd_, finalMode) != 0 || ::fsync(fd_) != 0))
        failure_ = errnoText("sync");
    if (failure_.empty()) {
        const int result = ::close(fd_);
        fd_ = -1;
        // A failed close can mean lost data.
        if (result != 0)
            failure_ = errnoText("close");
    }
    if (failure_.empty()) {
        if (::rename(temporary_.c_str(), target_.c_str()) == 0) {
            temporary_.clear();
            syncFolderOf(target_);
        } else {
            failure_ = errnoText("rename");
        }
    }
    std::string reason = failure_;
    discard();
    if (reason.empty())
        failure_ = "already committed";
    return reason;
}

void AtomicFileWriter::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
    buffer_.clear();
}

} // namespace tavrin::base
