// The auto-start list of Windows: a string value under the current user's Run key, which the
// shell runs at log-on.
#pragma once

#include "platform/auto_start.h"

#include <string>

namespace tavrin::platform {

// The shell's Run key, below HKEY_CURRENT_USER.
inline constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

class RunKeyAutoStartList final : public AutoStartList
{
public:
    // `runKey` is the key below HKEY_CURRENT_USER that holds the entry: the shell's Run key, or
    // a scratch key of a test's own.
    explicit RunKeyAutoStartList(std::wstring runKey = kRunKey)
        : runKey_(std::move(runKey))
    {}

    // Sets the value "qvmt_link.exe" to the program's path exactly as given.
    [[nodiscard]] std::string add(const std::filesystem::path& program) override;
    // Deletes the value, or a key of that name that some tools leave instead of a value.
    [[nodiscard]] AutoStartRemoval remove() override;

private:
    std::wstring runKey_;
};

} // namespace tavrin::platform
