// The download folder on Windows: the shell's Downloads, and whether a folder takes a new file.
#include "platform/download_folder.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace tavrin::platform {
namespace {

using testing_support::TempDir;

TEST(DownloadFolder, IsAnExistingFolderThatTakesFiles)
{
    const std::filesystem::path folder = userDownloadFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(folder.is_absolute()) << folder;
    EXPECT_TRUE(std::filesystem::is_directory(folder)) << folder;
    EXPECT_TRUE(mayWriteInFolder(folder)) << folder;
}

TEST(DownloadFolder, OnlyAFolderThatExistsTakesFiles)
{
    TempDir dir;
    const auto file = dir.write("file.txt", "x");
    const struct
    {
        const char* name;
        std::filesystem::path folder;
        bool writable;
    } cases[] = {
        {"a folder", dir.path(), true},
        {"missing", dir / "missing", false},
        {"a file", file, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(mayWriteInFolder(c.folder), c.writable);
    }
    // The probe leaves nothing behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

} // namespace
} // namespace tavrin::platform
