// Drives the real main window offscreen: its layout, the library's buttons and menus, the
// close query, and hiding into the notification area.
#include "app/main_window.h"
#include "app/window_look.h"
#include "library/mark.h"
#include "library/url_library.h"
#include "platform/headless/scripted_desktop.h"
#include "platform/qt/qt_text.h"
#include "submit/submission_engine.h"
#include "support/local_addresses.h"
#include "support/local_server.h"
#include "support/temp_dir.h"
#include "support/widget_lookup.h"
#include "text/messages.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

using tavrin::app::MainWindow;
using tavrin::platform::BoxAnswer;
using tavrin::platform::toQString;
using tavrin::testing_support::TempDir;
using tavrin::testing_support::u;
namespace msg = tavrin::msg;

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    // A fresh window whose program folder holds `urlTxt` (no url.txt when null), checking rows
    // with `rowCheck` (the real HTTP check when empty).
    MainWindow& open(const char* urlTxt = nullptr, bool trayAvailable = true,
                     tavrin::submit::RowCheck rowCheck = {})
    {
        dir_ = std::make_unique<TempDir>();
        if (urlTxt)
            dir_->write("url.txt", urlTxt);
        dialogs_ = std::make_unique<tavrin::platform::ScriptedDialogs>();
        shell_ = std::make_unique<tavrin::platform::RecordingShell>();
        tray_ = std::make_unique<tavrin::platform::MemoryTray>(trayAvailable);
        window_ = std::make_unique<MainWindow>(
            dir_->path(),
            tavrin::app::DesktopServices{.dialogs = dialogs_.get(),
                                         .shell = shell_.get(),
                                         .tray = tray_.get(),
                                         .rowCheck = std::move(rowCheck),
                                         .updateUrl = tavrin::testing_support::kNoUpdateNoticeUrl,
                                         .historyDatabase = std::filesystem::path(),
                                         .makerHost = makerHost_,
                                         .guestbookUrl = guestbookUrl_});
        window_->showCentred();
        waitLoaded();
        return *window_;
    }

    void waitLoaded()
    {
        window_->library().waitUntilLoaded();
        window_->flushList();
        QCoreApplication::processEvents();
    }

    template <typename Widget> Widget* control(const char* name)
    {
        auto* widget = window_->findChild<Widget*>(u(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }

    // A window over `urlTxt` whose checks count themselves in checks_ and mark every row √; with
    // `untilStopped` each check lasts until its pass is stopped.
    MainWindow& openCounting(const char* urlTxt, bool untilStopped = false)
    {
        checks_ = std::make_shared<std::atomic<int>>(0);
        return open(
            urlTxt, true,
            [checks = checks_, untilStopped](const tavrin::submit::RowRequest&, const std::stop_token& stop) {
                ++*checks;
                while (untilStopped && !stop.stop_requested())
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                tavrin::submit::RowResult result;
                result.mark = tavrin::library::Mark::Success;
                result.httpStatus = 200;
                return result;
            });
    }

    QStringList marks()
    {
        window_->flushList();
        QStringList shown;
        for (int row = 0; row < list()->model()->rowCount(); ++row)
            shown << cellText(row, 2);
        return shown;
    }

    // Types `address` over the address box, as the user does.
    void typeAddress(const QString& address)
    {
        auto* box = control<QLineEdit>("编辑框1");
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, address);
    }

    QTableView* list() { return control<QTableView>("超级列表框1"); }
    QString status() { return control<QLabel>("透明标签2")->text(); }
    QString cellText(int row, int column) { return list()->model()->index(row, column).data().toString(); }

    void rightClickRow(int row)
    {
        QWidget* viewport = list()->viewport();
        const QPoint at = list()->visualRect(list()->model()->index(row, 1)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QCoreApplication::sendEvent(viewport, &event);
    }

    QAction* listAction(const char* title)
    {
        for (QAction* action : window_->listMenu()->actions()) {
            if (action->text() == u(title))
                return action;
        }
        qFatal("no menu item %s", title);
    }

    QAction* menuBarAction(const char* menu, const char* title)
    {
        QAction* action = tavrin::testing_support::findMenuItem(window_->menuBar(), menu, title);
        if (!action)
            qFatal("no menu item %s/%s", menu, title);
        return action;
    }

    // The visible items of a menu-bar menu, in order.
    QStringList shownItems(const char* menu)
    {
        QStringList items;
        for (QAction* top : window_->menuBar()->actions()) {
            if (top->text() != u(menu))
                continue;
            for (QAction* action : top->menu()->actions()) {
                if (action->isVisible() && !action->isSeparator())
                    items << action->text();
            }
        }
        return items;
    }

    // The maker's web presence the next window is built with: a configured build's unless a test
    // takes it away. The shell only records what it is asked to open.
    std::string makerHost_;
    std::string guestbookUrl_;
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<tavrin::platform::ScriptedDialogs> dialogs_;
    std::unique_ptr<tavrin::platform::RecordingShell> shell_;
    std::unique_ptr<tavrin::platform::MemoryTray> tray_;
    std::unique_ptr<MainWindow> window_;
    std::shared_ptr<std::atomic<int>> checks_;

private slots:
    void init()
    {
        makerHost_ = "www.tavrin.example";
        guestbookUrl_ = "http://www.tavrin.example/guestbook.asp";
    }

    void cleanup()
    {
        window_.reset();
        dir_.reset();
    }

    void controlsAreLaidOut_data()
    {
        using tavrin::testing_support::addLayoutRow;
        tavrin::testing_support::addLayoutColumns();
        addLayoutRow("分组框3", {8, 3, 426, 45}, "网址库");
        addLayoutRow("标签1", {8, 13, 96, 24}, "地址：");
        addLayoutRow("编辑框1", {48, 15, 190, 20}, "http://www.tavrin.example");
        addLayoutRow("按钮2", {257, 15, 60, 20}, "导入网址");
        addLayoutRow("按钮1", {329, 15, 60, 20}, "开始提交");
        addLayoutRow("分组框2", {6, 51, 426, 221}, "地址库");
        addLayoutRow("超级列表框1", {16, 69, 404, 192}, "");
        addLayoutRow("分组框1", {7, 275, 427, 101}, "软件设置");
        addLayoutRow("选择框2", {12, 18, 96, 16}, "循环提交");
        addLayoutRow("选择框1", {12, 41, 96, 16}, "只保存成功");
        addLayoutRow("透明标签1", {119, 16, 48, 16}, "线程数：");
        addLayoutRow("编辑框3", {168, 15, 24, 16}, "50");
        addLayoutRow("按钮3", {136, 40, 60, 20}, "保存网址");
        addLayoutRow("标签2", {14, 64, 80, 24}, "增加地址库：");
        addLayoutRow("编辑框2", {94, 67, 190, 20}, "");
        addLayoutRow("按钮4", {291, 67, 60, 20}, "添加网址");
        addLayoutRow("分组框4", {285, 9, 134, 42}, "版本信息");
        addLayoutRow("标签3", {4, 13, 120, 24}, "当前版本：v2.0 beta1");
        addLayoutRow("按钮5", {365, 342, 60, 20}, "检查更新");
        addLayoutRow("透明标签2", {8, 378, 424, 16}, "当前状态：软件初始化成功....");
        addLayoutRow("进度条1", {1, 396, 433, 14}, "");
    }

    void controlsAreLaidOut()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        open();
        auto* widget = window_->findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), geometry);
        QCOMPARE(tavrin::testing_support::captionOf(widget), caption);
    }

    void windowStartsAsLaidOut()
    {
        MainWindow& window = open();
        QCOMPARE(window.windowTitle(), u("Tavrin外链小工具 v2.0 beta1"));
        QCOMPARE(window.centralWidget()->size(), QSize(439, 421));
        QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QCOMPARE(list()->model()->rowCount(), 0);
        QCOMPARE(control<QProgressBar>("进度条1")->value(), 0);
        QVERIFY(!control<QCheckBox>("选择框1")->isChecked());
        QVERIFY(!control<QCheckBox>("选择框2")->isChecked());
        QCOMPARE(window.currentVersion(), msg::kVersion);

        const QStringList headers = {u("编号"), u("查询网址"), u("成功")};
        for (int column = 0; column < 3; ++column)
            QCOMPARE(list()->model()->headerData(column, Qt::Horizontal).toString(), headers[column]);
        QCOMPARE(list()->columnWidth(1), 300);

        QStringList menus;
        for (QAction* top : window.menuBar()->actions())
            menus << top->text();
        QCOMPARE(menus, (QStringList{u("程序"), u("帮助")}));
        QStringList popup;
        for (QAction* action : window.listMenu()->actions())
            popup << action->text();
        QCOMPARE(popup,
                 (QStringList{u("修改网址"), u("提交网址"), u("打开网址"), u("删除网址"), u("全部删除")}));

        // The thread count takes digits only.
        auto* threads = control<QLineEdit>("编辑框3");
        threads->clear();
        QTest::keyClicks(threads, QStringLiteral("1a2-b3"));
        QCOMPARE(threads->text(), QStringLiteral("123"));
    }

    void startUpLoadsUrlTxtBesideTheProgram()
    {
        open("http://a.example/{$url}\r\n\r\nplain\r\n");
        QCOMPARE(list()->model()->rowCount(), 3);
        QCOMPARE(cellText(0, 1), u("http://a.example/www.tavrin.example"));
        QCOMPARE(cellText(1, 1), QString());
        QCOMPARE(cellText(2, 0), QStringLiteral("3"));
        QCOMPARE(cellText(2, 2), u("？"));
        QTRY_COMPARE(status(), u("导入：3个网址，共：3个网址"));
    }

    void importAddAndSaveThroughTheButtons()
    {
        open("http://a.example/{$url}\r\n");
        auto* address = control<QLineEdit>("编辑框1");
        address->selectAll();
        QTest::keyClicks(address, QStringLiteral("https://My.Site:81/x"));

        dialogs_->queueFileName(dir_->write("import.txt", "http://b.example/?q={$url}\r\n"));
        QTest::mouseClick(control<QPushButton>("按钮2"), Qt::LeftButton);
        waitLoaded();
        QCOMPARE(cellText(1, 1), u("http://b.example/?q=my.site"));
        QTRY_COMPARE(status(), u("导入：1个网址，共：2个网址"));

        QTest::keyClicks(control<QLineEdit>("编辑框2"), QStringLiteral("http://c.example/{$url}/"));
        QTest::mouseClick(control<QPushButton>("按钮4"), Qt::LeftButton);
        waitLoaded();
        QCOMPARE(cellText(2, 1), u("http://c.example/my.site/"));
        QCOMPARE(cellText(2, 0), QStringLiteral("3"));
        QTRY_COMPARE(status(), u("插入1个网址，共：3个网址"));

        window_->list().setCell(2, tavrin::library::kMarkColumn, msg::kMarkSuccess);
        const auto saved = *dir_ / "saved.txt";
        dialogs_->queueFileName(saved);
        QTest::mouseClick(control<QPushButton>("按钮3"), Qt::LeftButton);
        // Every row keeps its template, the one loaded before the address changed too.
        QCOMPARE(QString::fromStdString(TempDir::read(saved)),
                 QStringLiteral("http://a.example/{$url}\r\nhttp://b.example/?q={$url}\r\n"
                                "http://c.example/{$url}/\r\n"));

        auto* onlySuccess = control<QCheckBox>("选择框1");
        QTest::mouseClick(onlySuccess, Qt::LeftButton, {}, QPoint(6, onlySuccess->height() / 2));
        QVERIFY(onlySuccess->isChecked());
        dialogs_->queueFileName(saved);
        QTest::mouseClick(control<QPushButton>("按钮3"), Qt::LeftButton);
        QCOMPARE(QString::fromStdString(TempDir::read(saved)),
                 QStringLiteral("http://c.example/{$url}/\r\n"));
    }

    void popUpMenuOpensOnlyOverAUrl()
    {
        open("http://a.example/{$url}\r\n\r\nhttp://c.example/{$url}\r\n");
        rightClickRow(1);
        QCOMPARE(window_->list().selection(), 1);
        QVERIFY(!window_->listMenu()->isVisible());

        rightClickRow(0);
        QCOMPARE(window_->list().selection(), 0);
        QVERIFY(window_->listMenu()->isVisible());
        window_->listMenu()->hide();

        listAction("打开网址")->trigger();
        QCOMPARE(shell_->opened().back(), "http://a.example/www.tavrin.example");

        dialogs_->queueText(tavrin::text::Text("http://edited.example/"));
        listAction("修改网址")->trigger();
        window_->flushList();
        QCOMPARE(cellText(0, 1), QStringLiteral("http://edited.example/"));

        listAction("删除网址")->trigger();
        window_->flushList();
        QCOMPARE(list()->model()->rowCount(), 2);
        QCOMPARE(cellText(1, 1), u("http://c.example/www.tavrin.example"));

        rightClickRow(1);
        listAction("全部删除")->trigger();
        window_->flushList();
        QCOMPARE(list()->model()->rowCount(), 0);
        QTRY_COMPARE(status(), u("清空了共：0个网址"));
    }

    void doubleClickOpensTheRowUrl()
    {
        open("\r\nhttp://b.example/{$url}\r\n");
        const auto doubleClick = [this](int row) {
            QWidget* viewport = list()->viewport();
            const QPoint at = list()->visualRect(list()->model()->index(row, 1)).center();
            // An item view only takes a double-click on the item its press went to.
            QTest::mousePress(viewport, Qt::LeftButton, {}, at);
            QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        };
        doubleClick(0);
        QVERIFY(shell_->opened().empty());
        doubleClick(1);
        QCOMPARE(shell_->opened(), std::vector<tavrin::text::Text>{"http://b.example/www.tavrin.example"});
    }

    void headerClickSortsAndKeepsTheSelection()
    {
        open("http://b.example/{$url}\r\nhttp://a.example/{$url}\r\nhttp://c.example/{$url}\r\n");
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {},
                          list()->visualRect(list()->model()->index(0, 1)).center());
        QCOMPARE(window_->list().selection(), 0);

        QHeaderView* header = list()->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(1) + 20, 5));
        window_->flushList();
        QCOMPARE(cellText(0, 1), u("http://a.example/www.tavrin.example"));
        QCOMPARE(cellText(1, 1), u("http://b.example/www.tavrin.example"));
        QCOMPARE(cellText(1, 0), QStringLiteral("1"));
        QCOMPARE(window_->list().selection(), 1);
        QCOMPARE(list()->selectionModel()->selectedRows().value(0).row(), 1);
    }

    void startButtonRunsAPassOverTheList()
    {
        tavrin::testing_support::LocalServer server;
        server.routes().Get("/listed", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html>listed</html>", "text/html");
        });
        server.routes().Get("/gone", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("gone", "text/plain");
        });
        // The last row to be marked: the other workers run out of rows long before it answers.
        server.routes().Get("/slow", [](const httplib::Request&, httplib::Response& res) {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            res.set_content("<html>listed, slowly</html>", "text/html");
        });
        server.start();
        const std::string urlTxt = server.url("/listed?q={$url}") + "\r\n" + server.url("/gone") + "\r\n" +
                                   server.url("/slow") + "\r\n";
        open(urlTxt.c_str());
        auto* start = control<QPushButton>("按钮1");

        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_COMPARE(start->text(), u("停止提交"));
        QTRY_COMPARE_WITH_TIMEOUT(status(), u("全部提交完成！"), 10000);
        // Completion is said once every row has its mark.
        QCOMPARE(marks(), (QStringList{u("√"), u("×"), u("√")}));
        QCOMPARE(control<QProgressBar>("进度条1")->value(), 0);
        // And the button is ready for the next pass: one press starts it.
        QTRY_COMPARE(start->text(), u("开始提交"));

        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_COMPARE(start->text(), u("停止提交"));
        QTRY_COMPARE_WITH_TIMEOUT(start->text(), u("开始提交"), 10000);
        QCOMPARE(status(), u("全部提交完成！"));
        QCOMPARE(marks(), (QStringList{u("√"), u("×"), u("√")}));
        window_.reset();
    }

    void stoppingPutsTheRowsBeingCheckedBackToPending_data()
    {
        QTest::addColumn<bool>("loopFirst");
        QTest::newRow("stopped by hand") << false;
        QTest::newRow("循环提交 switched off, then stopped") << true;
    }

    void stoppingPutsTheRowsBeingCheckedBackToPending()
    {
        QFETCH(bool, loopFirst);
        openCounting("http://a.example/{$url}\r\nhttp://b.example/{$url}\r\nhttp://c.example/{$url}\r\n",
                     true);
        auto* loop = control<QCheckBox>("选择框2");
        loop->setChecked(loopFirst);
        auto* start = control<QPushButton>("按钮1");
        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_COMPARE(marks(), QStringList(3, u("---》")));
        loop->setChecked(false);

        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_COMPARE(start->text(), u("开始提交"));
        QTRY_COMPARE(status(), u("成功停止了全部线程，点击开始提交按钮重新提交！"));
        QCOMPARE(marks(), QStringList(3, u("？")));
        QTRY_VERIFY(!window_->engine().passWorkersRunning());
        QCOMPARE(marks(), QStringList(3, u("？")));
        QCOMPARE(checks_->load(), 3);
    }

    void aPassAndASingleSubmitNeedASiteAddress_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("empty") << QString();
        QTest::newRow("a scheme only") << QStringLiteral("http://");
        QTest::newRow("a path without a host") << QStringLiteral("https:///index.html");
    }

    void aPassAndASingleSubmitNeedASiteAddress()
    {
        QFETCH(QString, address);
        openCounting("http://a.example/?q={$url}\r\nhttp://b.example/{$url}\r\n");
        typeAddress(address);

        rightClickRow(0);
        window_->listMenu()->hide();
        listAction("提交网址")->trigger();
        window_->engine().waitForSingleSubmits();
        QTRY_COMPARE(status(), u("请先填写网址！"));

        QTest::keyClicks(control<QLineEdit>("编辑框2"), QStringLiteral("http://c.example/{$url}"));
        QTest::mouseClick(control<QPushButton>("按钮4"), Qt::LeftButton);
        QTRY_COMPARE(status(), u("插入1个网址，共：3个网址"));
        auto* start = control<QPushButton>("按钮1");
        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_VERIFY(!window_->engine().passWorkersRunning());
        QTRY_COMPARE(status(), u("请先填写网址！"));
        QCOMPARE(start->text(), u("开始提交"));
        QCOMPARE(checks_->load(), 0);
        QCOMPARE(marks(), QStringList(3, u("？")));

        // With a site in the box the same press runs the pass.
        typeAddress(QStringLiteral("http://www.mine.example/"));
        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(status(), u("全部提交完成！"), 10000);
        QCOMPARE(marks(), QStringList(3, u("√")));
        QCOMPARE(cellText(0, 1), QStringLiteral("http://a.example/?q=www.mine.example"));
    }

    void theLoopSaysWhichPassCompletedAndStartsTheNext()
    {
        openCounting("http://a.example/{$url}\r\nhttp://b.example/{$url}\r\n");
        auto* timer = window_->findChild<QTimer*>(u("时钟1"));
        QVERIFY(timer);
        QCOMPARE(timer->interval(), 2000);
        QVERIFY(timer->isActive());
        // The same ticks, closer together, so that the test does not wait out the real pause.
        timer->setInterval(300);
        QTest::mouseClick(control<QCheckBox>("选择框2"), Qt::LeftButton, {}, QPoint(6, 8));
        QVERIFY(control<QCheckBox>("选择框2")->isChecked());
        auto* start = control<QPushButton>("按钮1");

        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(status(), u("第1轮完成"), 5000);
        QCOMPARE(start->text(), u("开始提交"));
        QTRY_COMPARE_WITH_TIMEOUT(status(), u("第2轮完成"), 5000);
        QVERIFY(checks_->load() >= 4);
        QTRY_COMPARE_WITH_TIMEOUT(status(), u("第3轮完成"), 5000);
        QVERIFY(checks_->load() >= 6);

        // Switched off, the loop ends after the pass it is in.
        QTest::mouseClick(control<QCheckBox>("选择框2"), Qt::LeftButton, {}, QPoint(6, 8));
        const int checked = checks_->load();
        QTest::qWait(800);
        QVERIFY(checks_->load() - checked <= 2);
        QCOMPARE(start->text(), u("开始提交"));
    }

    void theTotalsAreTheRowsInTheList()
    {
        open("http://a.example/{$url}\r\nhttp://b.example/{$url}\r\nhttp://c.example/{$url}\r\n");
        QTRY_COMPARE(status(), u("导入：3个网址，共：3个网址"));

        rightClickRow(0);
        window_->listMenu()->hide();
        listAction("删除网址")->trigger();
        QTRY_COMPARE(status(), u("删除1个网址，共：2个网址"));

        QTest::keyClicks(control<QLineEdit>("编辑框2"), QStringLiteral("http://d.example/{$url}"));
        QTest::mouseClick(control<QPushButton>("按钮4"), Qt::LeftButton);
        QTRY_COMPARE(status(), u("插入1个网址，共：3个网址"));
        window_->flushList();
        QCOMPARE(list()->model()->rowCount(), 3);
        // Numbers are not handed out twice.
        QCOMPARE(cellText(2, 0), QStringLiteral("4"));

        dialogs_->queueFileName(dir_->write("more.txt", "http://e.example/{$url}\r\n"));
        QTest::mouseClick(control<QPushButton>("按钮2"), Qt::LeftButton);
        waitLoaded();
        QTRY_COMPARE(status(), u("导入：1个网址，共：4个网址"));
    }

    void savingSaysWhereAndAsksBeforeWritingAnEmptyFile_data()
    {
        QTest::addColumn<bool>("onlySuccess");
        QTest::addColumn<int>("successRow");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("savedRows");
        const int none = -1;
        const int yes = static_cast<int>(BoxAnswer::Yes);
        const int no = static_cast<int>(BoxAnswer::No);
        const QString both = QStringLiteral("http://a.example/{$url}\r\nhttp://b.example/{$url}\r\n");
        const QString old = QStringLiteral("old library\r\n");
        QTest::newRow("every row") << false << none << none << false << both << 2;
        QTest::newRow("the √ rows") << true << 1 << none << false
                                    << QStringLiteral("http://b.example/{$url}\r\n") << 1;
        QTest::newRow("no √ row, 否") << true << none << no << true << old << none;
        QTest::newRow("no √ row, 是") << true << none << yes << true << QString() << 0;
    }

    void savingSaysWhereAndAsksBeforeWritingAnEmptyFile()
    {
        QFETCH(bool, onlySuccess);
        QFETCH(int, successRow);
        QFETCH(int, answer);
        QFETCH(bool, asked);
        QFETCH(QString, file);
        QFETCH(int, savedRows);
        open("http://a.example/{$url}\r\nhttp://b.example/{$url}\r\n");
        QTRY_COMPARE(status(), u("导入：2个网址，共：2个网址"));
        if (successRow >= 0)
            window_->list().setCell(successRow, tavrin::library::kMarkColumn, msg::kMarkSuccess);
        control<QCheckBox>("选择框1")->setChecked(onlySuccess);
        const auto target = dir_->write("saved.txt", "old library\r\n");
        dialogs_->queueFileName(target);
        if (answer >= 0)
            dialogs_->queueAnswer(static_cast<BoxAnswer>(answer));

        QTest::mouseClick(control<QPushButton>("按钮3"), Qt::LeftButton);
        QCOMPARE(QString::fromStdString(TempDir::read(target)), file);
        const auto boxes = dialogs_->shownBoxes();
        QCOMPARE(boxes.size(), std::size_t{asked ? 1u : 0u});
        if (asked) {
            QCOMPARE(toQString(boxes[0].message), u("是否保存空文件？"));
            QCOMPARE(toQString(boxes[0].title), u("Tavrin提示"));
            QCOMPARE(boxes[0].flags, tavrin::platform::box::kAskYesNoDefaultNo);
        }
        const QString said =
            savedRows < 0
                ? u("导入：2个网址，共：2个网址")
                : u("已保存%1个网址到：%2").arg(savedRows).arg(QString::fromStdString(target.string()));
        QTRY_COMPARE(status(), said);
    }

    void aNewAddressIsWhatPassesSavesAndEditsUse()
    {
        // Before the server, whose handlers use them until it stops.
        std::mutex asked;
        std::vector<std::string> sites;
        tavrin::testing_support::LocalServer server;
        server.routes().Get("/listed", [&](const httplib::Request& req, httplib::Response& res) {
            {
                const std::lock_guard lock(asked);
                sites.push_back(req.get_param_value("q"));
            }
            res.set_content("<html><head><title>Site info</title></head><body><a href=\"http://" +
                                req.get_param_value("q") + "/\">" + req.get_param_value("q") +
                                "</a></body></html>",
                            "text/html");
        });
        server.start();
        const std::string templateLine = server.url("/listed?q={$url}");
        open((templateLine + "\r\n").c_str());

        // The user's own site, typed over the default and confirmed with Enter.
        auto* address = control<QLineEdit>("编辑框1");
        address->setFocus();
        address->selectAll();
        QTest::keyClicks(address, QStringLiteral("http://WWW.Mine.example/"));
        QTest::keyClick(address, Qt::Key_Return);
        window_->flushList();
        QCOMPARE(cellText(0, 1), QString::fromStdString(server.url("/listed?q=www.mine.example")));

        // Saved, the library still holds its placeholder.
        const auto saved = *dir_ / "saved.txt";
        dialogs_->queueFileName(saved);
        QTest::mouseClick(control<QPushButton>("按钮3"), Qt::LeftButton);
        QCOMPARE(TempDir::read(saved), templateLine + "\r\n");

        // A pass asks about the new site, and the mark tells what the page held.
        QTest::mouseClick(control<QPushButton>("按钮1"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(cellText(0, 2), u("√"), 10000);
        {
            const std::lock_guard lock(asked);
            QCOMPARE(sites, std::vector<std::string>{"www.mine.example"});
        }
        const QString tip = list()->model()->index(0, 2).data(Qt::ToolTipRole).toString();
        QVERIFY2(tip.startsWith(u("√：页面提到了网址，有链接")), qPrintable(tip));
        QVERIFY2(tip.contains(u("标题：Site info")), qPrintable(tip));
        QTRY_COMPARE(control<QPushButton>("按钮1")->text(), u("开始提交"));

        // 修改网址: the site's host in the edited address stands for the placeholder.
        rightClickRow(0);
        window_->listMenu()->hide();
        dialogs_->queueText(tavrin::text::Text("http://edited.example/?s=WWW.MINE.EXAMPLE"));
        listAction("修改网址")->trigger();
        window_->flushList();
        QCOMPARE(cellText(0, 1), QStringLiteral("http://edited.example/?s=www.mine.example"));
        QCOMPARE(cellText(0, 2), u("？"));
        dialogs_->queueFileName(saved);
        QTest::mouseClick(control<QPushButton>("按钮3"), Qt::LeftButton);
        QCOMPARE(TempDir::read(saved), std::string("http://edited.example/?s={$url}\r\n"));
        window_.reset();
    }

    void closeAsksWhetherToKeepRunning()
    {
        MainWindow& window = open();
        QSignalSpy closed(&window, &MainWindow::closedForGood);

        dialogs_->queueAnswer(BoxAnswer::Yes);
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.isVisible());
        QCOMPARE(closed.count(), 0);
        {
            const auto boxes = dialogs_->shownBoxes();
            QCOMPARE(boxes.size(), std::size_t{1});
            QCOMPARE(toQString(boxes[0].message), u("是否继续运行本软件？"));
            QCOMPARE(toQString(boxes[0].title), u("Tavrin提示"));
            QCOMPARE(boxes[0].flags, 0x124);
        }
        QVERIFY(shell_->opened().empty());

        dialogs_->queueAnswer(BoxAnswer::No);
        window.close();
        QVERIFY(!window.isVisible());
        QCOMPARE(closed.count(), 1);
        QCOMPARE(shell_->opened(), std::vector<tavrin::text::Text>{"www.tavrin.example/?qvmt_link"});
    }

    void exitAndSiteMenusAskNothing()
    {
        MainWindow& window = open();
        QSignalSpy closed(&window, &MainWindow::closedForGood);
        menuBarAction("帮助", "官方网站")->trigger();
        QCOMPARE(shell_->opened(), std::vector<tavrin::text::Text>{"http://www.tavrin.example/?qvmt_link"});
        menuBarAction("程序", "退出")->trigger();
        QCOMPARE(closed.count(), 1);
        QVERIFY(dialogs_->shownBoxes().empty());
        QCOMPARE(shell_->opened().size(), std::size_t{1});
    }

    void helpMenuOffersTheMakersPagesOnlyWhereTheBuildNamesThem_data()
    {
        QTest::addColumn<QString>("makerHost");
        QTest::addColumn<QString>("guestbookUrl");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("both") << u("www.tavrin.example") << u("http://www.tavrin.example/guestbook.asp")
                              << QStringList{u("官方网站"), u("检查升级"), u("给我留言")};
        QTest::newRow("the site only")
            << u("www.tavrin.example") << QString() << QStringList{u("官方网站"), u("检查升级")};
        QTest::newRow("neither") << QString() << QString() << QStringList{u("检查升级")};
    }

    void helpMenuOffersTheMakersPagesOnlyWhereTheBuildNamesThem()
    {
        QFETCH(QString, makerHost);
        QFETCH(QString, guestbookUrl);
        QFETCH(QStringList, items);
        makerHost_ = makerHost.toStdString();
        guestbookUrl_ = guestbookUrl.toStdString();
        open();
        QCOMPARE(shownItems("帮助"), items);
    }

    void withoutTheMakersSiteNothingIsOpenedOrNamed()
    {
        makerHost_.clear();
        guestbookUrl_.clear();
        MainWindow& window = open("http://a.example/{$url}\r\n");
        // The address box waits for the user's own site.
        QCOMPARE(control<QLineEdit>("编辑框1")->text(), QStringLiteral("http://"));
        window.onMenuSite();
        window.onMenuGuestbook();

        menuBarAction("程序", "最小到托盘")->trigger();
        QTRY_VERIFY(!window.isVisible());
        QCOMPARE(toQString(tray_->tooltip()), u("当前版本：v2.0 beta1"));
        window.onTrayEvent(1);

        dialogs_->queueAnswer(BoxAnswer::No);
        window.close();
        QVERIFY(!window.isVisible());
        QCOMPARE(dialogs_->shownBoxes().size(), std::size_t{1});
        QVERIFY(shell_->opened().empty());
    }

    void minimiseHidesIntoTheTrayAndComesBackCentred()
    {
        MainWindow& window = open();
        window.move(3, 5);
        menuBarAction("程序", "最小到托盘")->trigger();
        QTRY_VERIFY(!window.isVisible());
        QVERIFY(tray_->visible());
        QCOMPARE(toQString(tray_->tooltip()), u("当前版本：v2.0 beta1\r\n\r\n使用交流：www.tavrin.example"));

        // Only a left-button release brings it back.
        window.onTrayEvent(3);
        window.onTrayEvent(2);
        QVERIFY(!window.isVisible());
        window.onTrayEvent(1);
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        QVERIFY(!tray_->visible());
        QVERIFY(window.pos() != QPoint(3, 5));

        // The title-bar button takes the same road.
        window.showMinimized();
        QTRY_VERIFY(!window.isVisible());
        QVERIFY(tray_->visible());
        window.onTrayEvent(1);
        QVERIFY(window.isVisible());
    }

    void withoutANotificationAreaMinimisingKeepsTheWindow()
    {
        MainWindow& window = open(nullptr, false);
        menuBarAction("程序", "最小到托盘")->trigger();
        QTest::qWait(50);
        QVERIFY(window.isVisible());
        QVERIFY(!tray_->visible());
    }

    void pointingAtTheAddressNeverTakesKeysTypedElsewhere_data()
    {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<bool>("addressTakesTheKeys");
        QTest::newRow("the list has the focus") << u("超级列表框1") << true;
        QTest::newRow("the start button has the focus") << u("按钮1") << true;
        QTest::newRow("typing into 增加地址库") << u("编辑框2") << false;
        QTest::newRow("typing into the thread count") << u("编辑框3") << false;
    }

    void pointingAtTheAddressNeverTakesKeysTypedElsewhere()
    {
        QFETCH(QString, focused);
        QFETCH(bool, addressTakesTheKeys);
        open();
        auto* address = control<QLineEdit>("编辑框1");
        const QString before = address->text();
        auto* typingInto = window_->findChild<QWidget*>(focused);
        QVERIFY(typingInto);
        typingInto->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), typingInto);

        QTest::mouseMove(address, QPoint(20, 5));
        QMouseEvent move(QEvent::MouseMove, QPointF(20, 5), address->mapToGlobal(QPointF(20, 5)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(address, &move);
        QWidget* takesTheKeys = addressTakesTheKeys ? address : typingInto;
        QTRY_COMPARE(QApplication::focusWidget(), takesTheKeys);
        // Pointing selects the whole address, so that typing replaces it.
        QTRY_VERIFY(!addressTakesTheKeys || address->selectedText() == before);
        // Typed to whatever has the focus, as the keyboard does.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("12"));
        QCOMPARE(address->text(), addressTakesTheKeys ? QStringLiteral("12") : before);
        QVERIFY(qobject_cast<QLineEdit*>(takesTheKeys)->text().endsWith(QStringLiteral("12")));
    }

    void doubleClickSelectsTheAddBox()
    {
        open();
        auto* addBox = control<QLineEdit>("编辑框2");
        QTest::keyClicks(addBox, QStringLiteral("abc"));
        QTest::mouseDClick(addBox, Qt::LeftButton);
        QTRY_COMPARE(addBox->selectedText(), QStringLiteral("abc"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
