// Points the user's data folder (base::userDataHome: XDG_DATA_HOME on POSIX, LOCALAPPDATA on
// Windows) at a folder of the test's own while the object lives, so that a run's history never
// lands in the real one; the variable is put back as it was.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace tavrin::testing_support {

class ScopedDataHome
{
public:
    explicit ScopedDataHome(const std::filesystem::path& folder)
        : before_(read())
    {
        write(folder.native().c_str());
    }
    ~ScopedDataHome() { write(before_ ? before_->c_str() : nullptr); }
    ScopedDataHome(const ScopedDataHome&) = delete;
    ScopedDataHome& operator=(const ScopedDataHome&) = delete;

private:
#ifdef _WIN32
    static constexpr const wchar_t* kVariable = L"LOCALAPPDATA";
    static std::optional<std::wstring> read()
    {
        const DWORD length = ::GetEnvironmentVariableW(kVariable, nullptr, 0);
        if (length == 0)
            return std::nullopt;
        std::wstring value(length, L'\0');
        value.resize(::GetEnvironmentVariableW(kVariable, value.data(), length));
        return value;
    }
    static void write(const wchar_t* value)
    {
        ::SetEnvironmentVariableW(kVariable, value);
    }
    std::optional<std::wstring> before_;
#else
    static constexpr const char* kVariable = "XDG_DATA_HOME";
    static std::optional<std::string> read()
    {
        const char* value = std::getenv(kVariable);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    static void write(const char* value)
    {
        if (value)
            ::setenv(kVariable, value, 1);
        else
            ::unsetenv(kVariable);
    }
    std::optional<std::string> before_;
#endif
};

} // namespace tavrin::testing_support
