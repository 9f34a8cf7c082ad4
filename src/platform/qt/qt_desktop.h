// The desktop interfaces over Qt: message boxes, file dialogs, the shell, the notification area.
#pragma once

#include "platform/desktop.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QSystemTrayIcon;
class QWidget;

namespace tavrin::platform {

class QtDialogs final : public Dialogs
{
public:
    // `owner` parents the dialogs; it may be null.
    explicit QtDialogs(QWidget* owner = nullptr)
        : owner_(owner)
    {}
    BoxAnswer messageBox(const Text& message, const Text& title, int flags) override;
    [[nodiscard]] std::filesystem::path openFileName(const Text& filter) override;
    [[nodiscard]] std::filesystem::path saveFileName(const Text& filter) override;
    [[nodiscard]] std::optional<Text> askText(const Text& title, const Text& prompt,
                                              const Text& initial) override;

private:
    QPointer<QWidget> owner_;
};

class QtShell final : public Shell
{
public:
    void openUrl(const Text& url) override;
};

class QtTray final : public QObject, public Tray
{
public:
    // `onEvent` receives 1 for a left-button click, 2 for a double-click, 3 for the context
    // menu request, on the user-interface thread.
    QtTray(const QIcon& icon, const std::function<void(int)>& onEvent, QObject* parent = nullptr);
    [[nodiscard]] bool isAvailable() const override;
    void setIcon(bool visible, const Text& tooltip) override;

private:
    QSystemTrayIcon* icon_;
};

// The filter of a file dialog in Qt's form: "description|pattern" becomes "description (pattern)",
// and several such pairs in a row ("d1|p1|d2|p2") become entries separated by ";;".
[[nodiscard]] QString qtFileFilter(const Text& filter);

} // namespace tavrin::platform
