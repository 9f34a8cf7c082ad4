#include "base/file_io.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tavrin::base {
namespace {

using testing_support::TempDir;
using Status = ReadResult::Status;

TEST(ReadWholeFile, ReadsBytesExactly)
{
    TempDir dir;
    const std::string bytes("a\r\n\0\xB0\xA1\xFF", 7);
    const ReadResult result = readWholeFile(dir.write("f.txt", bytes));
    EXPECT_EQ(result.status, Status::Ok);
    EXPECT_EQ(result.bytes, bytes);
}

TEST(ReadWholeFile, RefusesWhatIsNotAReadableFile)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const auto& path : {dir / "missing.txt", dir.path(), dir / "fifo"}) {
        SCOPED_TRACE(path.string());
        const ReadResult result = readWholeFile(path);
        EXPECT_EQ(result.status, Status::Unreadable);
        EXPECT_TRUE(result.bytes.empty());
    }
}

TEST(ReadWholeFile, RefusesFilesOverTheLimit)
{
    TempDir dir;
    const auto file = dir.write("big.txt", std::string(100, 'x'));
    EXPECT_EQ(readWholeFile(file, 99).status, Status::TooLarge);
    EXPECT_EQ(readWholeFile(file, 100).status, Status::Ok);
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

TEST(WriteFileAtomically, WritesThroughALink)
{
    TempDir dir;
    const auto real = dir.write("real.txt", "old");
    std::filesystem::create_symlink(real, dir / "link.txt");
    EXPECT_EQ(writeFileAtomically(dir / "link.txt", "new"), "");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.txt"));
    EXPECT_EQ(TempDir::read(real), "new");
}

TEST(WriteFileAtomically, CanReplaceALinkInsteadOfWritingThroughIt)
{
    TempDir dir;
    TempDir elsewhere;
    const auto outside = elsewhere.write("real.txt", "old");
    std::filesystem::create_symlink(outside, dir / "link.txt");
    EXPECT_EQ(writeFileAtomically(dir / "link.txt", "new", TargetLink::Replace), "");
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "link.txt"));
    EXPECT_EQ(TempDir::read(dir / "link.txt"), "new");
    EXPECT_EQ(TempDir::read(outside), "old");
}

TEST(WriteFileAtomically, FailureLeavesTheOldFileAlone)
{
    TempDir dir;
    const auto blocker = dir.write("not-a-dir", "x");
    std::filesystem::create_directory(dir / "sub");
    for (const auto& target : {blocker / "lib.txt", dir / "missing-dir" / "lib.txt", dir / "sub"}) {
        SCOPED_TRACE(target.string());
        EXPECT_NE(writeFileAtomically(target, "new"), "");
    }
    EXPECT_EQ(TempDir::read(blocker), "x");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "sub"));
}

int entriesIn(const std::filesystem::path& folder)
{
    return static_cast<int>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(AtomicFileWriter, PutsThePiecesInPlaceOnlyWhenCommitted)
{
    TempDir dir;
    const auto file = dir.write("report.txt", "old");
    ::chmod(file.c_str(), 0640);
    // Short pieces that are gathered, and one longer than the gathering buffer between them.
    const std::string large(std::size_t{200} * 1024, 'L');
    std::string expected;
    {
        AtomicFileWriter writer(file);
        for (const std::string& piece : {std::string("first\n"), large, std::string("last\n")}) {
            writer.append(piece);
            expected += piece;
        }
        EXPECT_EQ(TempDir::read(file), "old") << "the target is untouched until the commit";
        EXPECT_EQ(writer.commit(), "");
        EXPECT_NE(writer.commit(), "") << "a second commit has nothing to put in place";
    }
    EXPECT_EQ(TempDir::read(file), expected);
    struct stat info
    {
    };
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(entriesIn(dir.path()), 1);
}

TEST(AtomicFileWriter, TheContentIsPrivateUntilItTakesTheTargetsMode)
{
    const auto modeOf = [](const std::filesystem::path& path) {
        struct stat info
        {
        };
        EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
        return info.st_mode & 07777;
    };
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

TEST(AtomicFileWriter, WithoutACommitLeavesTheOldFileAndNoTemporary)
{
    TempDir dir;
    const auto file = dir.write("report.txt", "old");
    {
        AtomicFileWriter writer(file);
        writer.append(std::string(std::size_t{100} * 1024, 'x'));
    }
    EXPECT_EQ(TempDir::read(file), "old");
    EXPECT_EQ(entriesIn(dir.path()), 1);
}

TEST(AtomicFileWriter, ATargetThatCannotBeCreatedIsKnownAtOnceAndReportedByTheCommit)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "sub");
    const auto file = dir.write("notes.txt", "notes");
    for (const auto& target : {dir / "missing-dir" / "report.txt", dir / "sub", file / "report.txt"}) {
        SCOPED_TRACE(target.string());
        AtomicFileWriter writer(target);
        // Known before the first byte, so that a caller can refuse before doing any work.
        EXPECT_NE(writer.failure(), "");
        writer.append("rows\n");
        EXPECT_NE(writer.commit(), "");
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "missing-dir"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "sub"));
    EXPECT_EQ(TempDir::read(file), "notes");
    EXPECT_EQ(entriesIn(dir.path()), 2);
    {
        AtomicFileWriter usable(dir / "report.txt");
        EXPECT_EQ(usable.failure(), "");
    }
    EXPECT_EQ(entriesIn(dir.path()), 2) << "an unused writer leaves nothing behind";
}

} // namespace
} // namespace tavrin::base
