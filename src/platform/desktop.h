// What the program's logic needs of the desktop around its windows: message boxes, file
// dialogs, the shell's "open", the notification area. Going through these lets tests answer
// every dialog and record what would have been opened.
#pragma once

#include "text/gbk_text.h"

#include <filesystem>
#include <optional>

namespace tavrin::platform {

using text::Text;

// Message box flags, as the program passes them.
namespace box {
inline constexpr int kOk = 0x0;
inline constexpr int kYesNo = 0x4;
inline constexpr int kIconError = 0x10;
inline constexpr int kIconQuestion = 0x20;
inline constexpr int kIconWarning = 0x30;
inline constexpr int kIconInformation = 0x40;
inline constexpr int kDefaultSecond = 0x100;
// The box belongs to no window: it comes up on its own, even while the main window is hidden,
// and keeps every window of the program waiting until it is answered.
inline constexpr int kTaskModal = 0x2000;
// Yes/No, question icon, No as the default button.
inline constexpr int kAskYesNoDefaultNo = kYesNo | kIconQuestion | kDefaultSecond;
} // namespace box

// The button a message box was closed with.
enum class BoxAnswer
{
    Ok,
    Yes,
    No,
};

class Dialogs
{
public:
    virtual ~Dialogs() = default;
    virtual BoxAnswer messageBox(const Text& message, const Text& title, int flags) = 0;
    // The chosen file, or an empty path when the dialog was cancelled. `filter` is
    // "description|pattern", or several such pairs joined by bars. A path, not a text: file
    // names on disk need not be GBK.
    [[nodiscard]] virtual std::filesystem::path openFileName(const Text& filter) = 0;
    [[nodiscard]] virtual std::filesystem::path saveFileName(const Text& filter) = 0;
    // Asks for one line of text, starting from `initial`; nothing when cancelled.
    [[nodiscard]] virtual std::optional<Text> askText(const Text& title, const Text& prompt,
                                                      const Text& initial) = 0;
};

class Shell
{
public:
    virtual ~Shell() = default;
    // Opens a URL (or any text the shell understands) with the user's default handler. A
    // failure is ignored: there is nothing useful the program can do about it.
    virtual void openUrl(const Text& url) = 0;
};

// The icon in the notification area.
class Tray
{
public:
    virtual ~Tray() = default;
    // False where the desktop has no notification area: the window must then not hide into it.
    [[nodiscard]] virtual bool isAvailable() const = 0;
    // Shows the icon with a tooltip (cut to 62 bytes), or removes it when `visible` is false.
    virtual void setIcon(bool visible, const Text& tooltip) = 0;
};

// The tooltip of the notification icon is limited to this many bytes.
inline constexpr std::size_t kTrayTipLimit = 62;

} // namespace tavrin::platform
