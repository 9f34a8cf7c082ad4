// The Run-key auto-start list against the registry itself (wine's, under the tests), in a
// scratch key of the test's own below HKEY_CURRENT_USER so that the user's real Run key is
// never touched.
#include "platform/run_key_auto_start.h"

#include "base/utf8_path.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include <windows.h>

namespace tavrin::platform {
namespace {

class RunKeyAutoStart : public ::testing::Test
{
protected:
    RunKeyAutoStart()
        : key_(L"Software\\TavrinTests\\Run-" + std::to_wstring(::GetCurrentProcessId()))
    {}
    ~RunKeyAutoStart() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TavrinTests"); }

    // The value's type and text, or nothing when there is no such value.
    std::optional<std::pair<DWORD, std::wstring>> value() const
    {
        wchar_t data[1024] = {};
        DWORD size = sizeof data;
        DWORD type = 0;
        if (::RegGetValueW(HKEY_CURRENT_USER, key_.c_str(), L"qvmt_link.exe", RRF_RT_ANY | RRF_NOEXPAND,
                           &type, data, &size) != ERROR_SUCCESS)
            return std::nullopt;
        return std::make_pair(type, std::wstring(data));
    }

    std::wstring key_;
};

TEST_F(RunKeyAutoStart, WritingReplacesAndDeletingTwiceFindsNothing)
{
    RunKeyAutoStartList list(key_);
    // The key does not exist yet: writing creates it. A Chinese path is stored as it is.
    const std::filesystem::path programs[] = {
        L"C:\\Tools\\run.exe",
        base::pathFromUtf8("D:\\我的 工具\\新 版.exe"),
    };
    for (const auto& program : programs) {
        SCOPED_TRACE(base::utf8FromPath(program));
        EXPECT_EQ(list.add(program), "");
        const auto stored = value();
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->first, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(stored->second, program.native());
    }
    EXPECT_EQ(list.remove(), AutoStartRemoval::Removed);
    EXPECT_FALSE(value());
    EXPECT_EQ(list.remove(), AutoStartRemoval::NotFound);
}

TEST_F(RunKeyAutoStart, AKeyOfTheValuesNameCountsAsTheEntry)
{
    // Some tools leave a key named like the value instead of the value.
    HKEY made = nullptr;
    const std::wstring asKey = key_ + L"\\qvmt_link.exe";
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, asKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &made,
                                nullptr),
              ERROR_SUCCESS);
    ::RegCloseKey(made);
    RunKeyAutoStartList list(key_);
    EXPECT_EQ(list.remove(), AutoStartRemoval::Removed);
    HKEY opened = nullptr;
    EXPECT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, asKey.c_str(), 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(list.remove(), AutoStartRemoval::NotFound);
}

TEST_F(RunKeyAutoStart, AnEmptyPathIsRefusedAndWritesNothing)
{
    RunKeyAutoStartList list(key_);
    EXPECT_NE(list.add(std::filesystem::path()), "");
    EXPECT_FALSE(value());
}

} // namespace
} // namespace tavrin::platform
