#include "base/file_io.h"

#include "base/file_io_system.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

std::string errnoText(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
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
    // Non-blocking so that a FIFO picked by mistake cannot hang the open; regular files ignore it.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid())
        return {};
    struct stat info
    {
    };
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return detail::readToEnd(static_cast<std::uintmax_t>(info.st_size), limit,
                             [&file](char* into, std::size_t size) -> long long {
                                 for (;;) {
                                     const ssize_t got = ::read(file.get(), into, size);
                                     if (got >= 0 || errno != EINTR)
                                         return got;
                                 }
                             });
}

void AtomicFileWriter::create(TargetLink link)
{
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
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = detail::temporarySibling(target_);
        // Private while it is written: the content may be that of a file only its owner may read.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        failure_ = errnoText("create");
        return;
    }
    file_ = fd;
    temporary_ = temporary;
}

void AtomicFileWriter::writeAll(std::string_view bytes)
{
    const int fd = static_cast<int>(file_);
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            failure_ = errnoText("write");
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

void AtomicFileWriter::putInPlace()
{
    const int fd = static_cast<int>(file_);
    const mode_t finalMode = keepMode_ ? keptMode_ : (0666 & ~currentUmask());
    if (::fchmod(fd, finalMode) != 0 || ::fsync(fd) != 0) {
        failure_ = errnoText("sync");
        return;
    }
    const int closed = ::close(fd);
    file_ = -1;
    // A failed close can mean lost data.
    if (closed != 0) {
        failure_ = errnoText("close");
        return;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        failure_ = errnoText("rename");
        return;
    }
    temporary_.clear();
    syncFolderOf(target_);
}

void AtomicFileWriter::discard()
{
    if (file_ >= 0) {
        ::close(static_cast<int>(file_));
        file_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
    buffer_.clear();
}

} // namespace tavrin::base
