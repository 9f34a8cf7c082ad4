#include "base/file_io.h"

#include "base/utf8_path.h"
#include "support/symlinks.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

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

// A named pipe is refused too (file_io_posix_test.cpp).
TEST(ReadWholeFile, RefusesWhatIsNotAReadableFile)
{
    TempDir dir;
    for (const auto& path : {dir / "missing.txt", dir.path()}) {
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

// The permission bits a save keeps are POSIX's (file_io_posix_test.cpp).
TEST(WriteFileAtomically, ReplacesContent)
{
    TempDir dir;
    const auto file = dir.write("lib.txt", "old contents that are longer");
    EXPECT_EQ(writeFileAtomically(file, "new"), "");
    EXPECT_EQ(TempDir::read(file), "new");
    // Nothing but the target is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(WriteFileAtomically, ChineseFolderAndFileNamesWork)
{
    // Names as the command line and the window hand them in: UTF-8 made a path explicitly.
    TempDir dir;
    const auto folder = dir.path() / base::pathFromUtf8("我的网站");
    std::filesystem::create_directory(folder);
    const auto file = folder / base::pathFromUtf8("网址库.txt");
    EXPECT_EQ(writeFileAtomically(file, "first"), "");
    EXPECT_EQ(writeFileAtomically(file, "second"), "") << "replacing works too";
    const ReadResult read = readWholeFile(file);
    EXPECT_EQ(read.status, ReadResult::Status::Ok);
    EXPECT_EQ(read.bytes, "second");
    EXPECT_EQ(utf8FromPath(file.filename()), "网址库.txt");
    AtomicFileWriter writer(folder / base::pathFromUtf8("报告.html"));
    writer.append("report");
    EXPECT_EQ(writer.commit(), "");
    EXPECT_EQ(TempDir::read(folder / base::pathFromUtf8("报告.html")), "report");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);
}

TEST(WriteFileAtomically, WritesThroughALink)
{
    TempDir dir;
    const auto real = dir.write("real.txt", "old");
    if (const std::string why = testing_support::makeSymlink(real, dir / "link.txt"); !why.empty())
        GTEST_SKIP() << why;
    EXPECT_EQ(writeFileAtomically(dir / "link.txt", "new"), "");
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.txt"));
    EXPECT_EQ(TempDir::read(real), "new");
}

TEST(WriteFileAtomically, CanReplaceALinkInsteadOfWritingThroughIt)
{
    TempDir dir;
    TempDir elsewhere;
    const auto outside = elsewhere.write("real.txt", "old");
    if (const std::string why = testing_support::makeSymlink(outside, dir / "link.txt"); !why.empty())
        GTEST_SKIP() << why;
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
    EXPECT_EQ(entriesIn(dir.path()), 1);
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
