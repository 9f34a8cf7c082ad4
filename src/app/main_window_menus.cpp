// The main window's menu items that open the program's secondary windows. They live apart from
// the rest of the window because the guest book depends on the optional web engine; everything
// else in the main window builds the same either way.
#include "app/auto_start_dialog.h"
#include "app/main_window.h"
#include "platform/qt/qt_text.h"

#if TAVRIN_HAS_WEBENGINE
#include "app/guestbook_window.h"
#endif

namespace tavrin::app {

void MainWindow::onMenuAutoStart()
{
    // Dialogs handed in (tests) answer this window's boxes too; the real ones belong to the
    // dialog, so that its boxes open over it.
    AutoStartDialog dialog(ownDialogs_ ? nullptr : dialogs_);
    dialog.exec();
}

void MainWindow::onMenuGuestbook()
{
    if (guestbookUrl_.empty())
        return;
#if TAVRIN_HAS_WEBENGINE
    if (GuestbookWindow::canStartEngine()) {
        GuestbookWindow window(QUrl(platform::toQString(guestbookUrl_)));
        window.exec();
        return;
    }
#endif
    shell_->openUrl(guestbookUrl_);
}

} // namespace tavrin::app
