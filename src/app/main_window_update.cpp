// The main window's update check: start-up, checkUpdateButton_ "检查更新" and 帮助 → 检查升级 all run it.
// The checker fetches and downloads on threads of its own and hands each result back to this
// window's thread, where its questions and reports are shown. A build without an update-notice
// page fetches nothing; only a check the user asked for says so.
#include "app/main_window.h"
#include "platform/qt/qt_controls.h"
#include "text/messages.h"
#include "update/update_checker.h"

#include <QMetaObject>

#include <optional>
#include <string>

namespace tavrin::app {

namespace {

// The status line after a check the user asked for; nothing for a newer version, whose
// question has said it all.
std::optional<text::Text> statusAfterCheck(const update::CheckResult& result)
{
    using Found = update::CheckResult::Found;
    using Problem = update::CheckResult::Problem;
    namespace texts = msg::update;
    if (result.found == Found::Newer)
        return std::nullopt;
    if (result.found == Found::NothingNewer)
        return texts::kUpToDate;
    switch (result.problem) {
    case Problem::NoAddress:
        return texts::kNoUpdateAddress;
    case Problem::ErrorStatus:
        return texts::kCheckFailed + texts::kHttpStatus + std::to_string(result.status);
    case Problem::CutShort:
        return texts::kCheckFailed + texts::kCutShort;
    case Problem::NoVersion:
        return texts::kCheckFailed + texts::kNoVersion;
    case Problem::NoResponse:
    case Problem::None:
        break;
    }
    return texts::kCheckFailed + texts::kNoResponse;
}

} // namespace

void UpdateCheckerDeleter::operator()(update::UpdateChecker* checker) const
{
    delete checker;
}

update::UpdateChecker& MainWindow::updater()
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
    return *updater_;
}

void MainWindow::checkForUpdate()
{
    updater().checkForUpdate(currentVersion_);
}

void MainWindow::checkForUpdateAsked()
{
    // The report runs on this window's thread while the window exists: the checker belongs to
    // the window, and reports of a checker that is gone are dropped.
    updater().checkForUpdate(currentVersion_, [this](const update::CheckResult& result) {
        if (const std::optional<text::Text> status = statusAfterCheck(result))
            statusLine_->setText(*status);
    });
}

} // namespace tavrin::app
