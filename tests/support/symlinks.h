// Symbolic links for tests of what a save does through one. GCC's library makes none on Windows
// (and making one there needs a privilege), so a test that needs one skips where it cannot.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

namespace tavrin::testing_support {

// Makes `link` point to `target`. Empty when it did, else why not.
inline std::string makeSymlink(const std::filesystem::path& target, const std::filesystem::path& link)
{
    std::error_code error;
    std::filesystem::create_symlink(target, link, error);
    return error ? "cannot make a symbolic link on this system: " + error.message() : std::string();
}

} // namespace tavrin::testing_support
