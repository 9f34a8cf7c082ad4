// The main window's update check: start-up, checkUpdateButton_ "检查更新" and 帮助 → 检查升级 all run it.
// The checker fetches and downloads on threads of its own and hands each result back to this
// window's thread, where its questions and reports are shown.
#include "app/main_window.h"
#include "update/update_checker.h"

#include <QMetaObject>

namespace tavrin::app {

void UpdateCheckerDeleter::operator()(update::UpdateChecker* checker) const
{
    delete checker;
}

void MainWindow::checkForUpdate()
{
    if (!updater_) {
        // Queued onto this window's thread; a result arriving after the window is gone is
        // dropped with the window's pending events.
        update::UiPost post = [this](std::function<void()> work) {
            QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
        };
        updater_.reset(new update::UpdateChecker(update::UpdateServices{*dialogs_, *shell_, std::move(post)},
                                                 update::UpdateSettings{updateUrl_, programDir_}));
    }
    updater_->checkForUpdate(currentVersion_);
}

} // namespace tavrin::app
