// The auto-start list of freedesktop systems (Linux and the BSDs): desktop entries in the user's
// autostart folder, which the session starts at log-on.
#pragma once

#include "platform/auto_start.h"

#include <optional>
#include <string>
#include <string_view>

namespace tavrin::platform {

class XdgAutoStartList final : public AutoStartList
{
public:
    // `folder` is the autostart folder to use; it is created when an entry is added.
    explicit XdgAutoStartList(std::filesystem::path folder)
        : folder_(std::move(folder))
    {}

    // $XDG_CONFIG_HOME/autostart, or ~/.config/autostart when XDG_CONFIG_HOME is unset, empty
    // or relative (the base-directory rules ignore relative paths). Empty when not even a home
    // folder is known.
    [[nodiscard]] static std::filesystem::path userFolder();

    // The program's entry: "qvmt_link.exe.desktop" in the folder.
    [[nodiscard]] std::filesystem::path entryFile() const;

    [[nodiscard]] std::string add(const std::filesystem::path& program) override;
    [[nodiscard]] AutoStartRemoval remove() override;

private:
    std::filesystem::path folder_;
};

// The value of an Exec key that runs `program` (UTF-8 bytes) without arguments: quoted when it
// holds a character that the desktop-entry rules reserve, with '%' doubled and the string
// escapes applied. Nothing when a desktop entry cannot hold it (invalid UTF-8, control
// characters other than tab, line feed and carriage return).
[[nodiscard]] std::optional<std::string> desktopExecValue(std::string_view program);

} // namespace tavrin::platform
