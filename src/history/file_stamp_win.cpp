#include "history/file_stamp.h"

#include <windows.h>

namespace tavrin::history {

std::string fileStampLine(const std::filesystem::path& file)
{
    // Opened for no access at all: enough to ask about the file, and no hindrance to SQLite.
    const HANDLE handle =
        ::CreateFileW(file.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return "-\n";
    BY_HANDLE_FILE_INFORMATION about{};
    const bool known = ::GetFileInformationByHandle(handle, &about);
    ::CloseHandle(handle);
    if (!known)
        return "-\n";
    const auto joined = [](DWORD high, DWORD low) {
        return (static_cast<unsigned long long>(high) << 32) | low;
    };
    // The volume and the file's index on it are what a device and inode number are on POSIX.
    return std::to_string(about.dwVolumeSerialNumber) + " " +
           std::to_string(joined(about.nFileIndexHigh, about.nFileIndexLow)) + " " +
           std::to_string(joined(about.nFileSizeHigh, about.nFileSizeLow)) + " " +
           std::to_string(joined(about.ftLastWriteTime.dwHighDateTime, about.ftLastWriteTime.dwLowDateTime)) +
           "\n";
}

} // namespace tavrin::history
