#include "base/private_temp_folder.h"

#include <random>
#include <string>

#include <windows.h>

namespace tavrin::base {

std::filesystem::path makePrivateTempFolder(std::string_view prefix)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH)
        return {};
    const std::filesystem::path under(std::wstring(buffer, length));
    const std::wstring start(prefix.begin(), prefix.end());
    std::random_device seed;
    std::mt19937 random(seed());
    static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
    // CreateDirectoryW fails on a name that exists, so a folder made here is always new.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring name = start;
        for (int i = 0; i < 6; ++i)
            name += kLetters[random() % (std::size(kLetters) - 1)];
        const std::filesystem::path folder = under / name;
        if (::CreateDirectoryW(folder.c_str(), nullptr))
            return folder;
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
    return {};
}

} // namespace tavrin::base
