#include "platform/download_folder.h"

#include "base/known_folder.h"

#include <string>
#include <system_error>

namespace tavrin::platform {

std::filesystem::path userDownloadFolder()
{
    // The shell's Downloads folder, wherever the user moved it; created when missing.
    const std::filesystem::path folder = base::knownFolderPath(FOLDERID_Downloads, KF_FLAG_CREATE);
    std::error_code error;
    return std::filesystem::is_directory(folder, error) ? folder : std::filesystem::path();
}

bool mayWriteInFolder(const std::filesystem::path& folder)
{
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        return false;
    // Windows decides by the folder's access list and the volume, which no permission bits tell:
    // the only sure answer is a file made there, which goes again when its handle is closed.
    const std::wstring probe = (folder / (L"tavrin-write-probe-" + std::to_wstring(::GetCurrentProcessId()) +
                                          L"-" + std::to_wstring(::GetCurrentThreadId()) + L".tmp"))
                                   .native();
    const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(file);
    return true;
}

} // namespace tavrin::platform
