#include "platform/xdg_auto_start.h"

#include "base/file_io.h"
#include "base/utf8_path.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace tavrin::platform {

namespace {

// Characters that make an Exec argument need quotes.
constexpr std::string_view kReserved = " \t\n\r\"'\\><~|&;$*?#()`";

bool isValidUtf8(std::string_view bytes)
{
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        std::size_t length = 1;
        char32_t code = lead;
        char32_t smallest = 0;
        if (lead >= 0x80) {
            if ((lead & 0xE0) == 0xC0) {
                length = 2;
                code = lead & 0x1F;
                smallest = 0x80;
            } else if ((lead & 0xF0) == 0xE0) {
                length = 3;
                code = lead & 0x0F;
                smallest = 0x800;
            } else if ((lead & 0xF8) == 0xF0) {
                length = 4;
                code = lead & 0x07;
                smallest = 0x10000;
            } else {
                return false;
            }
            if (bytes.size() - at < length)
                return false;
            for (std::size_t next = 1; next < length; ++next) {
                const auto byte = static_cast<unsigned char>(bytes[at + next]);
                if ((byte & 0xC0) != 0x80)
                    return false;
                code = (code << 6) | (byte & 0x3F);
            }
            if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                return false;
        }
        at += length;
    }
    return true;
}

std::filesystem::path homeFolder()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir && *user->pw_dir)
        return user->pw_dir;
    return {};
}

} // namespace

std::optional<std::string> desktopExecValue(std::string_view program)
{
    if (program.empty() || !isValidUtf8(program))
        return std::nullopt;
    bool quote = false;
    for (const char c : program) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7F)
            return std::nullopt;
        if (kReserved.find(c) != std::string_view::npos)
            quote = true;
    }

    // A reader undoes the layers in the opposite order: first the escapes of a string value,
    // then the field codes ("%%" is a literal '%'), then the argument's quotes.
    std::string argument;
    if (quote)
        argument += '"';
    for (const char c : program) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\'))
            argument += '\\';
        argument += c;
    }
    if (quote)
        argument += '"';

    std::string value;
    value.reserve(argument.size() + 8);
    for (const char c : argument) {
        switch (c) {
        case '%':
            value += "%%";
            break;
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        default:
            value += c;
        }
    }
    return value;
}

std::filesystem::path XdgAutoStartList::userFolder()
{
    if (const char* config = std::getenv("XDG_CONFIG_HOME");
        config && std::filesystem::path(config).is_absolute())
        return std::filesystem::path(config) / "autostart";
    const std::filesystem::path home = homeFolder();
    if (home.empty())
        return {};
    return home / ".config" / "autostart";
}

std::filesystem::path XdgAutoStartList::entryFile() const
{
    return folder_ / (std::string(kAutoStartEntryName) + ".desktop");
}

std::string XdgAutoStartList::add(const std::filesystem::path& program)
{
    if (program.empty())
        return "no program given";
    if (folder_.empty())
        return "no home folder";
    const std::optional<std::string> exec = desktopExecValue(program.native());
    if (!exec)
        return "the path cannot be written into a desktop entry";
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    if (error)
        return "create " + base::utf8FromPath(folder_) + ": " + error.message();
    const std::string entry = "[Desktop Entry]\nType=Application\nName=" + std::string(kAutoStartEntryName) +
                              "\nExec=" + *exec + "\n";
    return base::writeFileAtomically(entryFile(), entry);
}

AutoStartRemoval XdgAutoStartList::remove()
{
    if (folder_.empty())
        return AutoStartRemoval::NotFound;
    if (::unlink(entryFile().c_str()) == 0)
        return AutoStartRemoval::Removed;
    return errno == ENOENT || errno == ENOTDIR ? AutoStartRemoval::NotFound : AutoStartRemoval::Failed;
}

std::unique_ptr<AutoStartList> currentUserAutoStartList()
{
    // Looked up at each use, so a changed environment is seen.
    return std::make_unique<XdgAutoStartList>(XdgAutoStartList::userFolder());
}

} // namespace tavrin::platform
