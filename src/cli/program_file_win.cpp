#include "cli/program_file.h"

#include <string>

#include <windows.h>

namespace tavrin::cli {

std::filesystem::path runningProgramFile()
{
    // GetModuleFileNameW cuts a path that does not fit and says so only by filling the buffer, so
    // the buffer grows until the path and its terminating zero fit (paths may exceed MAX_PATH).
    std::wstring file(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, file.data(), static_cast<DWORD>(file.size()));
        if (length == 0)
            return {};
        if (length < file.size()) {
            file.resize(length);
            return std::filesystem::path(file);
        }
        if (file.size() >= 32768)
            return {};
        file.resize(file.size() * 2);
    }
}

} // namespace tavrin::cli
