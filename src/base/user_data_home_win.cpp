#include "base/user_data_home.h"

#include "base/known_folder.h"

#include <string>

namespace tavrin::base {

std::filesystem::path userDataHome()
{
    // The variable first, as the POSIX build reads XDG_DATA_HOME: whoever sets it (a portable
    // setup, a test) chooses the folder.
    std::wstring value(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), static_cast<DWORD>(value.size()));
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
    return knownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT);
}

} // namespace tavrin::base
