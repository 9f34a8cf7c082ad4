// The window and the history: passes are recorded, the note over a mark says how the template
// did before, and 历史报告 opens the report of the last pass.
#include "app/main_window.h"
#include "library/url_library.h"
#include "platform/headless/scripted_desktop.h"
#include "platform/qt/qt_text.h"
#include "submit/submission_engine.h"
#include "support/local_addresses.h"
#include "support/temp_dir.h"
#include "support/widget_lookup.h"

#include <QAbstractItemModel>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <chrono>
#include <memory>
#include <thread>

using tavrin::app::MainWindow;
using tavrin::testing_support::findMenuItem;
using tavrin::testing_support::TempDir;
using tavrin::testing_support::u;

class HistoryWindowTest : public QObject
{
    Q_OBJECT

private:
    // A window over two templates, "good" and "bad", whose checks take a moment as real ones do,
    // recording into history.sqlite in its folder, which `historyFile` fills when given.
    MainWindow& open(const char* historyFile = nullptr)
    {
        dir_ = std::make_unique<TempDir>();
        dir_->write("url.txt", "http://good.example/{$url}\r\nhttp://bad.example/{$url}\r\n");
        if (historyFile)
            dir_->write("history.sqlite", historyFile);
        shell_ = std::make_unique<tavrin::platform::RecordingShell>();
        tray_ = std::make_unique<tavrin::platform::MemoryTray>();
        const auto check = [](const tavrin::submit::RowRequest& row, const std::stop_token&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            tavrin::submit::RowResult result;
            const bool good = row.url.starts_with("http://good.example/");
            result.mark = good ? tavrin::library::Mark::Success : tavrin::library::Mark::Failure;
            result.decidedBy =
                good ? tavrin::submit::ResponseTest::Passed : tavrin::submit::ResponseTest::NotFound;
            result.httpStatus = good ? 200 : 404;
            result.reason = good ? "" : "404 in header";
            return result;
        };
        window_ = std::make_unique<MainWindow>(
            dir_->path(),
            tavrin::app::DesktopServices{.dialogs = &dialogs_,
                                         .shell = shell_.get(),
                                         .tray = tray_.get(),
                                         .rowCheck = check,
                                         .updateUrl = tavrin::testing_support::kNoUpdateNoticeUrl,
                                         .historyDatabase = dir_->path() / "history.sqlite",
                                         // The site address the passes run for.
                                         .makerHost = "www.tavrin.example"});
        window_->showCentred();
        window_->library().waitUntilLoaded();
        window_->flushList();
        return *window_;
    }

    QString status() { return window_->findChild<QLabel*>(QStringLiteral("透明标签2"))->text(); }
    QString tip(int row)
    {
        window_->flushList();
        auto* list = window_->findChild<QTableView*>(u("超级列表框1"));
        return list->model()->index(row, 2).data(Qt::ToolTipRole).toString();
    }
    void runPass()
    {
        auto* button = window_->findChild<QPushButton*>(u("按钮1"));
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(status(), u("全部提交完成！"), 10000);
        // Completed, every check has reported, and the button is ready for the next pass.
        QTRY_COMPARE(button->text(), u("开始提交"));
        QTRY_VERIFY_WITH_TIMEOUT(!window_->engine().passWorkersRunning(), 10000);
    }
    QAction* historyReport() { return findMenuItem(window_->menuBar(), "程序", "历史报告"); }

    tavrin::platform::ScriptedDialogs dialogs_;
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<tavrin::platform::RecordingShell> shell_;
    std::unique_ptr<tavrin::platform::MemoryTray> tray_;
    std::unique_ptr<MainWindow> window_;

private slots:
    void cleanup() { window_.reset(); }

    void passesAreRecordedAndTheNoteSaysHowTheTemplateDidBefore()
    {
        open();
        QVERIFY(historyReport());
        historyReport()->trigger();
        QTRY_COMPARE(status(), u("还没有记录过提交"));
        QVERIFY(shell_->opened().empty());

        runPass();
        QVERIFY2(!tip(0).contains(u("历史")), qPrintable(tip(0)));
        runPass();
        QVERIFY2(tip(0).endsWith(u("历史：2次中成功2次")), qPrintable(tip(0)));
        QVERIFY2(tip(1).endsWith(u("历史：2次中成功0次")), qPrintable(tip(1)));

        historyReport()->trigger();
        QCOMPARE(shell_->opened().size(), std::size_t{1});
        const std::filesystem::path report(shell_->opened().front());
        QVERIFY2(report.filename() == "run-2.html", report.string().c_str());
        const std::string html = TempDir::read(report);
        QVERIFY(html.find("run 2 for www.tavrin.example") != std::string::npos);
        QVERIFY(html.find("Newly failed templates (0)") != std::string::npos);
        std::filesystem::remove_all(report.parent_path());
    }

    void aHistoryThatCannotBeUsedIsSaidAndThePassGoesOn()
    {
        // The window's history is a file of the user's that is no database.
        open("the user's notes");
        QTRY_VERIFY_WITH_TIMEOUT(!dialogs_.shownBoxes().empty(), 10000);
        const QString said = tavrin::platform::toQString(dialogs_.shownBoxes().front().message);
        QVERIFY2(said.startsWith(u("历史记录不可用：")), qPrintable(said));
        QVERIFY2(said.contains(u("history.sqlite")), qPrintable(said));
        runPass();
        QCOMPARE(window_->list().rowCount(), 2);
        QVERIFY2(!tip(0).contains(u("历史")), qPrintable(tip(0)));
        historyReport()->trigger();
        QVERIFY(shell_->opened().empty());
        QTRY_VERIFY2(status().startsWith(u("历史记录不可用：")), qPrintable(status()));
        QCOMPARE(dialogs_.shownBoxes().size(), std::size_t{1});
        QCOMPARE(TempDir::read(dir_->path() / "history.sqlite"), std::string("the user's notes"));
    }
};

QTEST_MAIN(HistoryWindowTest)
#include "history_window_test.moc"
