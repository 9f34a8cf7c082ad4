// What files are on POSIX systems alone: named pipes, /proc's files of no stated size, and the
// permission bits a save keeps (Windows has access lists instead, which a save leaves to the
// folder's inheritance).
#include "base/file_io.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tavrin::base {
namespace {

using testing_support::TempDir;
using Status = ReadResult::Status;

mode_t modeOf(const std::filesystem::path& path)
{
    struct stat info
    {
    };
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST(ReadWholeFile, RefusesANamedPipe)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const ReadResult result = readWholeFile(dir / "fifo");
    EXPECT_EQ(result.status, Status::Unreadable);
    EXPECT_TRUE(result.bytes.empty());
}

TEST(ReadWholeFile, ReadsPastTheStatedSizeWithinTheLimit)
{
    // A file of /proc states a size of 0, like a file that grows while it is read.
    const ReadResult status = readWholeFile("/proc/self/status");
    EXPECT_EQ(status.status, Status::Ok);
    EXPECT_TRUE(status.bytes.starts_with("Name:")) << status.bytes;
    EXPECT_NE(status.bytes.find("\nVmRSS:"), std::string::npos) << "read to its end";
    const ReadResult limited = readWholeFile("/proc/self/status", 100);
    EXPECT_EQ(limited.status, Status::TooLarge);
    EXPECT_TRUE(limited.bytes.empty());
}

TEST(WriteFileAtomically, ReplacesContentAndKeepsPermissions)
{
    TempDir dir;
    const auto file = dir.write("lib.txt", "old contents that are longer");
    ::chmod(file.c_str(), 0640);
    EXPECT_EQ(writeFileAtomically(file, "new"), "");
    EXPECT_EQ(TempDir::read(file), "new");
    struct stat info
    {
    };
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    // Nothing but the target is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(AtomicFileWriter, KeepsTheTargetsMode)
{
    TempDir dir;
    const auto file = dir.write("report.txt", "old");
    ::chmod(file.c_str(), 0640);
    AtomicFileWriter writer(file);
    writer.append(std::string(std::size_t{200} * 1024, 'L'));
    EXPECT_EQ(writer.commit(), "");
    EXPECT_EQ(modeOf(file), 0640u);
}

TEST(AtomicFileWriter, TheContentIsPrivateUntilItTakesTheTargetsMode)
{
    TempDir dir;
    const auto secret = dir.write("secret.txt", "old");
    ::chmod(secret.c_str(), 0600);
    const auto shared = dir.write("shared.txt", "old");
    ::chmod(shared.c_str(), 0644);
    const auto fresh = dir.path() / "fresh.txt";

    for (const auto& target : {secret, shared, fresh}) {
        SCOPED_TRACE(target.filename().string());
        AtomicFileWriter writer(target);
        writer.append(std::string(std::size_t{100} * 1024, 'x'));
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            if (entry.path().filename().string().find(".tmp-") != std::string::npos) {
                EXPECT_EQ(modeOf(entry.path()) & 077, 0u) << "others can read the content being written";
            }
        }
        EXPECT_EQ(writer.commit(), "");
    }
    EXPECT_EQ(modeOf(secret), 0600u);
    EXPECT_EQ(modeOf(shared), 0644u);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(modeOf(fresh), 0666u & ~mask) << "a new file gets what the file-creation mask allows";
}

} // namespace
} // namespace tavrin::base
