// Saving never costs the user the library already on disk: a save killed at any moment, a full
// disk, a read-only folder and the other ways a save fails all leave the old file exactly as it
// was, and a failure says so in the status line.
#include "base/file_io.h"
#include "library/site_host.h"
#include "library/url_library.h"

#include "platform/headless/memory_controls.h"
#include "platform/headless/scripted_desktop.h"
#include "support/forked_child.h"
#include "support/headless_library.h"
#include "support/private_mounts.h"
#include "support/symlinks.h"
#include "support/temp_dir.h"
#include "text/encoding.h"
#include "text/messages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

namespace tavrin::library {
namespace {

using testing_support::ForkedChild;
using testing_support::mountPrivateTmpfs;
using testing_support::TempDir;
using text::Text;
using text::utf8ToGbk;

std::vector<std::string> namesIn(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The status line of a failed save, as the user reads it.
Text saveFailedText(const std::filesystem::path& path, const std::string& reason)
{
    return msg::kSaveFailed + utf8ToGbk(path.string()) + utf8ToGbk("（" + reason + "）");
}

// The status line of a good save.
Text savedText(int rows, const std::filesystem::path& path)
{
    return utf8ToGbk("已保存" + std::to_string(rows) + "个网址到：" + path.string());
}

std::string templateLine(int i)
{
    return "http://rank" + std::to_string(i % 977) + ".example/site/{$url}/info?id=" + std::to_string(i);
}

// The library wired to in-memory controls.
class SaveSafety : public testing::Test, protected testing_support::HeadlessLibrary
{
protected:
    SaveSafety()
        : HeadlessLibrary("http://www.my-site.com/")
    {}

    // Fills the list with `rows` templates as a load would have expanded them.
    void fillLibrary(int rows)
    {
        for (int i = 0; i < rows; ++i)
            list.appendRow({text::decimal(i + 1), expandTemplate(templateLine(i), "www.my-site.com"), "?"});
    }

    // Saves every row as the user does, in this process or in a child; gives the status line
    // afterwards.
    Text save(const std::filesystem::path& target)
    {
        dialogs.queueFileName(target);
        handlers.onSaveClick();
        return statusLine.text();
    }
    std::function<std::string()> saveJob(const std::filesystem::path& target)
    {
        return [this, target] { return save(target); };
    }
};

TEST(SaveKilled, AtAnyMomentLeavesTheOldOrTheNewFile)
{
    // Libraries of about 12 and 9 MB, so that a save takes long enough to be caught while it
    // writes, syncs and renames. (Building the text before, in the list's save, touches no file.)
    std::string first;
    for (int i = 0; i < 250000; ++i)
        first += templateLine(i) + "\r\n";
    const std::string second = first.substr(0, first.size() * 3 / 4);
    TempDir dir;
    const auto target = dir.write("url.txt", "http://old.example/{$url}\r\n");
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(base::writeFileAtomically(dir / "timing.txt", first), "");
    const auto saveTime = std::chrono::steady_clock::now() - started;
    std::filesystem::remove(dir / "timing.txt");

    if (!ForkedChild::kAvailable)
        GTEST_SKIP() << testing_support::kNoForkReason;
    std::string current = TempDir::read(target);
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> delay(
        0, std::chrono::duration_cast<std::chrono::microseconds>(saveTime).count() * 6 / 5);
    // Ten rounds, or fewer when a busy disk makes each one slow: the test must stay short.
    const auto roundsStarted = std::chrono::steady_clock::now();
    for (int round = 0; round < 10; ++round) {
        if (round >= 4 && std::chrono::steady_clock::now() - roundsStarted > std::chrono::seconds(3))
            break;
        const std::string& next = round % 2 == 0 ? first : second;
        ForkedChild child([&] { return base::writeFileAtomically(target, next); });
        ASSERT_TRUE(child.started());
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        child.kill();
        const ForkedChild::Ending ending = child.wait();

        const std::string now = TempDir::read(target);
        EXPECT_TRUE(now == current || now == next)
            << "round " << round << ": " << now.size() << " bytes, neither the old file (" << current.size()
            << ") nor the new one (" << next.size() << ")";
        if (!ending.killed) {
            EXPECT_EQ(ending.report, "") << "round " << round;
            EXPECT_TRUE(now == next) << "round " << round << ": a finished save replaced the file";
        }
        current = now;
    }

    // What killed saves leave are their hidden temporary files, never a second library file.
    // They are left alone (one may belong to a save of another instance that is still running),
    // and the next save is not disturbed by them.
    for (const std::string& name : namesIn(dir.path())) {
        if (name != "url.txt") {
            EXPECT_TRUE(name.starts_with(".url.txt.tmp-")) << name;
        }
    }
    ASSERT_EQ(base::writeFileAtomically(target, second), "");
    EXPECT_TRUE(TempDir::read(target) == second);
}

TEST_F(SaveSafety, AFileSizeLimitFailsTheSaveAndKeepsTheOldFile)
{
    // About 400 KB of templates against a limit of 256 KiB: the write fails half-way, as on a full
    // disk.
    fillLibrary(8000);
    const auto target = dir.write("url.txt", "http://old.example/{$url}\r\n");
    auto job = saveJob(target);
    ForkedChild child([&job] {
        if (const std::string why = testing_support::limitFileSize(256 << 10); !why.empty())
            return "skip\n" + why;
        return job();
    });
    const ForkedChild::Ending ending = child.wait();
    ASSERT_EQ(ending.exitCode, 0);
    if (ending.report.starts_with("skip\n"))
        GTEST_SKIP() << ending.report.substr(5);
    EXPECT_EQ(ending.report, saveFailedText(target, "write: File too large"));
    EXPECT_EQ(TempDir::read(target), "http://old.example/{$url}\r\n");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"url.txt"}) << "the partial file is removed";
}

std::string nameList(const std::filesystem::path& folder)
{
    std::string names;
    for (const std::string& name : namesIn(folder))
        names += name + " ";
    return names;
}

TEST_F(SaveSafety, AFullOrReadOnlyFileSystemFailsTheSaveAndKeepsTheOldFile)
{
    // About 400 KB of templates, for a file system of 256 KiB.
    fillLibrary(8000);
    const std::string old = "http://old.example/{$url}\r\n";
    const struct
    {
        const char* name;
        bool readOnly;
        std::string reason;
    } cases[] = {
        {"full", false, "write: No space left on device"},
        {"read-only", true, "create: Read-only file system"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto mountPoint = dir / c.name;
        std::filesystem::create_directory(mountPoint);
        const auto target = mountPoint / "url.txt";
        auto job = saveJob(target);
        // The small file system exists in the child only, so the child looks at the result.
        ForkedChild child([&] {
            if (const std::string why = mountPrivateTmpfs(mountPoint); !why.empty())
                return "skip\n" + why;
            if (!base::writeFileAtomically(target, old).empty())
                return std::string("skip\ncannot write the old file");
            if (c.readOnly)
                if (const std::string why = testing_support::remountReadOnly(mountPoint); !why.empty())
                    return "skip\n" + why;
            const Text status = job();
            return "ran\n" + status + "\n" + (TempDir::read(target) == old ? "intact" : "changed") + "\n" +
                   nameList(mountPoint);
        });
        const ForkedChild::Ending ending = child.wait();
        ASSERT_EQ(ending.exitCode, 0);
        if (ending.report.starts_with("skip\n"))
            GTEST_SKIP() << ending.report.substr(5);
        EXPECT_EQ(ending.report, "ran\n" + saveFailedText(target, c.reason) + "\nintact\nurl.txt ");
    }
}

TEST_F(SaveSafety, ASaveThroughALinkToAnotherFileSystemReplacesTheFileLinkedTo)
{
    // The new file must be made beside the file linked to: a rename cannot cross file systems.
    fillLibrary(3);
    const std::string saved = templateLine(0) + "\r\n" + templateLine(1) + "\r\n" + templateLine(2) + "\r\n";
    const auto other = dir / "other";
    std::filesystem::create_directory(other);
    const auto real = other / "url.txt";
    const auto link = dir / "url.txt";
    if (const std::string why = testing_support::makeSymlink(real, link); !why.empty())
        GTEST_SKIP() << why;
    auto job = saveJob(link);
    ForkedChild child([&] {
        if (const std::string why = mountPrivateTmpfs(other); !why.empty())
            return "skip\n" + why;
        if (!base::writeFileAtomically(real, "old").empty())
            return std::string("skip\ncannot write the old file");
        const Text status = job();
        return "ran\n" + status + "\n" + TempDir::read(real) +
               (std::filesystem::is_symlink(link) ? "link\n" : "\n") + nameList(dir.path()) + "/ " +
               nameList(other);
    });
    const ForkedChild::Ending ending = child.wait();
    ASSERT_EQ(ending.exitCode, 0);
    if (ending.report.starts_with("skip\n"))
        GTEST_SKIP() << ending.report.substr(5);
    // The status line names the file as the user picked it.
    EXPECT_EQ(ending.report, "ran\n" + savedText(3, link) + "\n" + saved + "link\nother url.txt / url.txt ");
}

TEST_F(SaveSafety, ATargetThatCannotBeWrittenFailsTheSaveAndChangesNothing)
{
    fillLibrary(10);
    std::filesystem::create_directory(dir / "folder");
    const auto blocker = dir.write("blocker", "not a folder\r\n");
    const struct
    {
        const char* name;
        std::filesystem::path target;
        std::string reason;
    } cases[] = {
        {"folder missing", dir / "missing" / "url.txt", "create: No such file or directory"},
        {"target is a folder", dir / "folder", "is a directory"},
        {"a file where the folder should be", blocker / "url.txt", "create: Not a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(save(c.target), saveFailedText(c.target, c.reason));
        EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"blocker", "folder"}));
        EXPECT_TRUE(std::filesystem::is_empty(dir / "folder"));
        EXPECT_EQ(TempDir::read(blocker), "not a folder\r\n");
    }
}

TEST_F(SaveSafety, ASaveWaitsForALoadStillRunning)
{
    // Saving onto the very file that is still being imported must write every row of it, not
    // the rows that happened to have arrived: otherwise the rest of the library is gone.
    std::string file;
    for (int i = 0; i < 20000; ++i)
        file += templateLine(i) + "\r\n";
    const auto target = dir.write("url.txt", file);
    handlers.loadFile(target);
    const Text status = save(target);
    EXPECT_EQ(status, savedText(20000, target));
    EXPECT_TRUE(TempDir::read(target) == file)
        << "the saved file has " << TempDir::read(target).size() << " of " << file.size() << " bytes";
}

} // namespace
} // namespace tavrin::library
