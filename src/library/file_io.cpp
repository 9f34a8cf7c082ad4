#include "library/file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

namespace tavrin::library {

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
            // The file may have grown since fstat; keep reading in steps, within the limit.
            if (result.bytes.size() >= limit) {
                char probe = 0;
                if (::read(file.get(), &probe, 1) > 0) {
                    result.bytes.clear();
                    result.status = ReadResult::Status::TooLarge;
                    return result;
                }
                break;
            }
            result.bytes.resize(std::min<std::uintmax_t>(limit, result.bytes.size() + 65536));
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
    if (path.empty() || !path.has_filename())
        return "no file name";
    std::filesystem::path target = path.is_absolute() ? path : std::filesystem::absolute(path);
    // Saving onto a link updates the file it points to, as an in-place write would.
    std::error_code ignored;
    if (link == TargetLink::WriteThrough && std::filesystem::is_symlink(target, ignored)) {
        const std::filesystem::path resolved = std::filesystem::canonical(target, ignored);
        if (!resolved.empty())
            target = resolved;
    }

    bool keepMode = false;
    struct stat existing
    {
    };
    // A link that is to be replaced is looked at itself, never at what it points to.
    const int found =
        link == TargetLink::Replace ? ::lstat(target.c_str(), &existing) : ::stat(target.c_str(), &existing);
    if (found == 0) {
        if (S_ISDIR(existing.st_mode))
            return "is a directory";
        // A replaced link leaves no mode to keep.
        keepMode = !S_ISLNK(existing.st_mode);
    }

    const std::filesystem::path temporary = temporarySibling(target);
    FileDescriptor file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.valid())
        return errnoText("create");
    const auto discard = [&temporary] { ::unlink(temporary.c_str()); };
    if (!writeAll(file.get(), bytes)) {
        std::string reason = errnoText("write");
        discard();
        return reason;
    }
    if ((keepMode && ::fchmod(file.get(), existing.st_mode & 07777) != 0) || ::fsync(file.get()) != 0) {
        std::string reason = errnoText("sync");
        discard();
        return reason;
    }
    if (!file.close()) {
        std::string reason = errnoText("close");
        discard();
        return reason;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        std::string reason = errnoText("rename");
        discard();
        return reason;
    }
    return {};
}

} // namespace tavrin::library
