// The current user's list of programs that start at log-on. The program keeps at most one entry
// there, always under the same name, for a program file the user picks.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace tavrin::platform {

// The name of the program's entry: the value name under the Run key on Windows, the base name of
// the desktop entry on freedesktop systems.
inline constexpr char kAutoStartEntryName[] = "qvmt_link.exe";

enum class AutoStartRemoval
{
    Removed,
    // There was no entry to remove.
    NotFound,
    // An entry may be there but could not be removed.
    Failed,
};

class AutoStartList
{
public:
    virtual ~AutoStartList() = default;
    // Makes `program` start when the current user logs on, replacing whatever an earlier call
    // registered. The path is used exactly as given: no check that it exists or is a program.
    // Returns an empty string on success, else a short reason.
    [[nodiscard]] virtual std::string add(const std::filesystem::path& program) = 0;
    [[nodiscard]] virtual AutoStartRemoval remove() = 0;
};

// The current user's list on this system.
[[nodiscard]] std::unique_ptr<AutoStartList> currentUserAutoStartList();

} // namespace tavrin::platform
