// The auto-start list of Windows: a string value under the current user's Run key, which the
// shell runs at log-on. Compiled only by a Windows build; other systems use the freedesktop list.
#ifdef _WIN32

#include "platform/auto_start.h"

#include <windows.h>

namespace tavrin::platform {

namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kValueName[] = L"qvmt_link.exe";
// Some tools leave a key of the value's name instead of a value; removing that counts too.
constexpr wchar_t kValueAsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\qvmt_link.exe";

class RunKeyAutoStartList final : public AutoStartList
{
public:
    std::string add(const std::filesystem::path& program) override
    {
        if (program.empty())
            return "no program given";
        HKEY key = nullptr;
        LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                           &key, nullptr);
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

    AutoStartRemoval remove() override
    {
        const LSTATUS value = ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, kValueName);
        if (value == ERROR_SUCCESS)
            return AutoStartRemoval::Removed;
        const LSTATUS key = ::RegDeleteKeyW(HKEY_CURRENT_USER, kValueAsKey);
        if (key == ERROR_SUCCESS)
            return AutoStartRemoval::Removed;
        const bool absent = (value == ERROR_FILE_NOT_FOUND) && (key == ERROR_FILE_NOT_FOUND);
        return absent ? AutoStartRemoval::NotFound : AutoStartRemoval::Failed;
    }
};

} // namespace

std::unique_ptr<AutoStartList> currentUserAutoStartList()
{
    return std::make_unique<RunKeyAutoStartList>();
}

} // namespace tavrin::platform

#endif // _WIN32
