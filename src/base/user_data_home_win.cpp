#include "base/user_data_home.h"

#include <memory>
#include <string>

#include <shlobj.h>
#include <windows.h>

namespace tavrin::base {

namespace {

struct TaskMemoryDeleter
{
    void operator()(wchar_t* memory) const noexcept { ::CoTaskMemFree(memory); }
};

} // namespace

std::filesystem::path userDataHome()
{
    // The variable first, as the POSIX build reads XDG_DATA_HOME: whoever sets it (a portable
    // setup, a test) chooses the folder.
    std::wstring value(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), static_cast<DWORD>(value.size()));
        if (length == 0)
            break;
        if (length < value.size()) {
            value.resize(length);
            const std::filesystem::path folder(value);
            if (folder.is_absolute())
                return folder;
            break;
        }
        value.resize(length);
    }
    wchar_t* raw = nullptr;
    const HRESULT found = ::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &raw);
    const std::unique_ptr<wchar_t, TaskMemoryDeleter> owned(raw);
    if (FAILED(found) || !raw)
        return {};
    return std::filesystem::path(raw);
}

} // namespace tavrin::base
