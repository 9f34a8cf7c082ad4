// What reading and saving files does the same on every system; the system calls are in
// file_io_posix.cpp and file_io_win.cpp.
#include "base/file_io.h"

#include "base/file_io_system.h"

#include <random>

namespace tavrin::base {

namespace detail {

ReadResult readToEnd(std::uintmax_t statedSize, std::uintmax_t limit, const ReadSome& readSome)
{
    ReadResult result;
    if (statedSize > limit) {
        result.status = ReadResult::Status::TooLarge;
        return result;
    }
    result.bytes.resize(static_cast<std::size_t>(statedSize));
    std::size_t filled = 0;
    for (;;) {
        if (filled == result.bytes.size()) {
            // The file may have grown since its size was asked. Room for more is made only once a
            // byte has come: growing a full buffer first would take twice the file's size every
            // time.
            char probe = 0;
            const long long got = readSome(&probe, 1);
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
        const long long got = readSome(result.bytes.data() + filled, result.bytes.size() - filled);
        if (got < 0) {
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

std::filesystem::path temporarySibling(const std::filesystem::path& target)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    // Built as a path, not as a narrow string, so that a name in any script survives on Windows.
    std::filesystem::path name(".");
    name += target.filename();
    std::string suffix = ".tmp-";
    const char digits[] = "0123456789abcdef";
    for (int i = 0; i < 12; ++i)
        suffix += digits[random() % 16];
    name += suffix;
    return target.parent_path() / name;
}

} // namespace detail

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
    create(link);
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
    else if (failure_.empty())
        writeAll(bytes);
}

void AtomicFileWriter::flush()
{
    if (failure_.empty() && !buffer_.empty())
        writeAll(buffer_);
    buffer_.clear();
}

std::string AtomicFileWriter::commit()
{
    flush();
    if (failure_.empty())
        putInPlace();
    std::string reason = failure_;
    discard();
    if (reason.empty())
        failure_ = "already committed";
    return reason;
}

} // namespace tavrin::base
