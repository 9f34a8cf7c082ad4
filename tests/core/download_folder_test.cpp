// The user's download folder, asked of a stand-in for xdg-user-dir, and whether a folder may be
// written: by its permissions, and on a read-only file system (which binds root too).
#include "platform/download_folder.h"

#include "support/forked_child.h"
#include "support/private_mounts.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

namespace tavrin::platform {
namespace {

using testing_support::ForkedChild;
using testing_support::TempDir;

TEST(UserDownloadFolder, TheCommandsAbsoluteAnswerElseDownloadsAtHome)
{
    // Each case: the stand-in's script (none: no such command), and where the folder ends up,
    // below the case's own folder.
    const struct
    {
        const char* what;
        std::optional<std::string> script;
        const char* expected;
    } cases[] = {
        {"a folder that is there", "mkdir -p \"$ROOT/mine/Dl\"; echo \"$ROOT/mine/Dl\"", "mine/Dl"},
        {"a folder that is not there yet", "echo \"$ROOT/new/Dl\"", "new/Dl"},
        {"only the first line counts", "printf '%s\\nsecond line\\n' \"$ROOT/first\"", "first"},
        {"a relative answer", "echo Downloads/here", "home/Downloads"},
        {"no answer", "true", "home/Downloads"},
        {"a failing command", "echo \"$ROOT/failed\"; exit 3", "home/Downloads"},
        {"no such command", std::nullopt, "home/Downloads"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::filesystem::create_directory(dir / "home");
        std::string command = (dir / "no-such-command").string();
        if (c.script) {
            command = dir.write("user-dir", "#!/bin/sh\nROOT='" + dir.path().string() +
                                                "'\n[ \"$1\" = DOWNLOAD ] || exit 9\n" + *c.script + "\n")
                          .string();
            ::chmod(command.c_str(), 0755);
        }
        const std::filesystem::path folder = userDownloadFolder(command, (dir / "home").c_str());
        EXPECT_EQ(folder, dir / c.expected);
        EXPECT_TRUE(std::filesystem::is_directory(folder));
        EXPECT_FALSE(std::filesystem::exists(dir / "failed"));
    }
}

TEST(UserDownloadFolder, NoneWithoutAHomeOrWhereItCannotBeMade)
{
    TempDir dir;
    const std::string missing = (dir / "no-such-command").string();
    EXPECT_EQ(userDownloadFolder(missing, nullptr), std::filesystem::path());
    EXPECT_EQ(userDownloadFolder(missing, ""), std::filesystem::path());
    // A file where the home folder should be.
    const auto notAFolder = dir.write("home", "a file");
    EXPECT_EQ(userDownloadFolder(missing, notAFolder.c_str()), std::filesystem::path());
    EXPECT_EQ(TempDir::read(notAFolder), "a file");
}

TEST(MayWriteInFolder, OnlyAFolderThatTakesFiles)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "open");
    const auto file = dir.write("file", "x");
    EXPECT_TRUE(mayWriteInFolder(dir / "open"));
    EXPECT_FALSE(mayWriteInFolder(dir / "missing"));
    EXPECT_FALSE(mayWriteInFolder(file));

    // Permission bits bind everyone but root.
    if (::geteuid() != 0) {
        std::filesystem::create_directory(dir / "locked");
        ::chmod((dir / "locked").c_str(), 0555);
        EXPECT_FALSE(mayWriteInFolder(dir / "locked"));
        ::chmod((dir / "locked").c_str(), 0755);
    }

    // A read-only file system binds root as well, as where a system keeps its programs.
    const auto mountPoint = dir / "mounted";
    std::filesystem::create_directory(mountPoint);
    ForkedChild child([&mountPoint] {
        if (const std::string why = testing_support::mountPrivateTmpfs(mountPoint); !why.empty())
            return "skip\n" + why;
        const bool writable = mayWriteInFolder(mountPoint);
        if (::mount(nullptr, mountPoint.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return std::string("skip\ncannot remount read-only: ") + std::strerror(errno);
        return std::string(writable ? "writable" : "not writable") + " then " +
               (mayWriteInFolder(mountPoint) ? "writable" : "not writable");
    });
    ASSERT_TRUE(child.started());
    const ForkedChild::Ending ending = child.wait();
    ASSERT_EQ(ending.exitCode, 0);
    if (ending.report.starts_with("skip\n"))
        GTEST_SKIP() << ending.report.substr(5);
    EXPECT_EQ(ending.report, "writable then not writable");
}

} // namespace
} // namespace tavrin::platform
