#include "platform/run_key_auto_start.h"

#include <windows.h>

namespace tavrin::platform {

namespace {

constexpr wchar_t kValueName[] = L"qvmt_link.exe";

} // namespace

std::string RunKeyAutoStartList::add(const std::filesystem::path& program)
{
    if (program.empty())
        return "no program given";
    HKEY key = nullptr;
    LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, runKey_.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                       nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return "open the Run key: error " + std::to_string(status);
    // The command line exactly as given, with its terminating zero.
    const std::wstring& data = program.native();
    status = ::RegSetValueExW(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                              static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return "set the Run value: error " + std::to_string(status);
    return {};
}

AutoStartRemoval RunKeyAutoStartList::remove()
{
    const LSTATUS value = ::RegDeleteKeyValueW(HKEY_CURRENT_USER, runKey_.c_str(), kValueName);
    if (value == ERROR_SUCCESS)
        return AutoStartRemoval::Removed;
    const std::wstring valueAsKey = runKey_ + L"\\" + kValueName;
    const LSTATUS key = ::RegDeleteKeyW(HKEY_CURRENT_USER, valueAsKey.c_str());
    if (key == ERROR_SUCCESS)
        return AutoStartRemoval::Removed;
    const bool absent = (value == ERROR_FILE_NOT_FOUND) && (key == ERROR_FILE_NOT_FOUND);
    return absent ? AutoStartRemoval::NotFound : AutoStartRemoval::Failed;
}

std::unique_ptr<AutoStartList> currentUserAutoStartList()
{
    return std::make_unique<RunKeyAutoStartList>();
}

} // namespace tavrin::platform
