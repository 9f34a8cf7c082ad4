// A folder of the test's own under the system's temporary folder, removed afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

namespace tavrin::testing_support {

class TempDir
{
public:
    // Under TMPDIR on POSIX, GetTempPath's folder on Windows (what temp_directory_path asks).
    // A name of random letters is taken only when create_directory made it, as mkdtemp does.
    TempDir()
    {
        std::error_code error;
        const std::filesystem::path under = std::filesystem::temp_directory_path(error);
        if (error)
            return;
        std::random_device seed;
        std::mt19937_64 random(seed());
        static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = "tavrin-test-";
            for (int i = 0; i < 10; ++i)
                name += kLetters[random() % (sizeof kLetters - 1)];
            const std::filesystem::path candidate = under / name;
            if (std::filesystem::create_directory(candidate, error)) {
                path_ = candidate;
                return;
            }
            if (error)
                return;
        }
    }
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
