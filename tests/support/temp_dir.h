// A folder of the test's own under the system's temporary folder, removed afterwards.
#pragma once

#include "base/private_temp_folder.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

namespace tavrin::testing_support {

class TempDir
{
public:
    // Under TMPDIR on POSIX, GetTempPath's folder on Windows.
    TempDir()
        : path_(base::makePrivateTempFolder("tavrin-test-"))
    {}
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }
    [[nodiscard]] std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    std::filesystem::path write(std::string_view name, std::string_view bytes) const
    {
        std::filesystem::path file = path_ / name;
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

    static std::string read(const std::filesystem::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path path_;
};

} // namespace tavrin::testing_support
