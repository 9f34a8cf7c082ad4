// The main window and the history: every pass recorded, the tally over a row's mark, and the
// report of the last pass (历史报告).
#include "app/main_window.h"

#include "base/file_io.h"
#include "base/private_temp_folder.h"
#include "base/utf8_path.h"
#include "history/history_recorder.h"
#include "history/html_report.h"
#include "platform/desktop.h"
#include "platform/qt/qt_controls.h"
#include "submit/submission_engine.h"
#include "text/encoding.h"
#include "text/messages.h"
#include "window/submit_handlers.h"

namespace tavrin::app {

void MainWindow::startHistory(const std::optional<std::filesystem::path>& database)
{
    const std::filesystem::path path = database.value_or(history::defaultDatabasePath());
    if (path.empty())
        return;
    // Said once, in a box: the status line would lose it to the texts of start-up or of the
    // pass within moments. Passes go on without history.
    recorder_ =
        std::make_unique<history::HistoryRecorder>(path, "window", [this](const std::string& problem) {
            const text::Text said = msg::verdict::kHistoryUnavailable + text::utf8ToGbk(problem);
            QMetaObject::invokeMethod(
                this,
                [this, said] {
                    statusLine_->setText(said);
                    dialogs_->messageBox(said + msg::verdict::kPassesGoOn, msg::kQuestionTitle,
                                         platform::box::kOk | platform::box::kIconWarning);
                },
                Qt::QueuedConnection);
        });
    recorder_->trackEarlierTallies();
    engine_->addListener(recorder_.get());
    submitHandlers_->setEarlierTally(
        [recorder = recorder_.get()](const submit::SubmitRow& row) { return recorder->earlierTally(row); });
}

void MainWindow::onMenuHistoryReport()
{
    if (!recorder_) {
        statusLine_->setText(msg::verdict::kNoHistoryYet);
        return;
    }
    // Whatever the passes reported is in the database before it is read.
    recorder_->flush();
    history::HistoryStore* store = recorder_->store();
    if (!store) {
        statusLine_->setText(msg::verdict::kHistoryUnavailable + text::utf8ToGbk(recorder_->problem()));
        return;
    }
    std::string problem;
    std::optional<std::int64_t> run = recorder_->lastRun();
    if (!run)
        run = store->lastRunId(problem);
    if (!run) {
        statusLine_->setText(problem.empty() ? msg::verdict::kNoHistoryYet
                                             : msg::verdict::kHistoryReportFailed + text::utf8ToGbk(problem));
        return;
    }
    const std::optional<std::string> html = history::htmlReport(*store, *run, problem);
    if (!html) {
        statusLine_->setText(msg::verdict::kHistoryReportFailed + text::utf8ToGbk(problem));
        return;
    }
    // A folder of the window's own under the temporary folder: nobody else can put a link where
    // the report is about to be written.
    if (reportFolder_.empty())
        reportFolder_ = base::makePrivateTempFolder("tavrin-report-");
    const std::filesystem::path file = reportFolder_ / ("run-" + std::to_string(*run) + ".html");
    const std::string failure =
        reportFolder_.empty() ? std::string("no temporary folder") : base::writeFileAtomically(file, *html);
    if (!failure.empty()) {
        statusLine_->setText(msg::verdict::kHistoryReportFailed + text::utf8ToGbk(failure));
        return;
    }
    shell_->openUrl(text::utf8ToGbk(base::utf8FromPath(file)));
}

} // namespace tavrin::app
