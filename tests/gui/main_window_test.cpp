// Drives the real main window offscreen: its layout, the library's buttons and menus, the
// close query, and hiding into the notification area.
#include "app/main_window.h"
#include "app/window_look.h"
#include "library/url_library.h"
#include "platform/headless/scripted_desktop.h"
#include "platform/qt/qt_text.h"
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

#include <memory>
#include <mutex>

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
    // A fresh window whose program folder holds `urlTxt` (no url.txt when null).
    MainWindow& open(const char* urlTxt = nullptr, bool trayAvailable = true)
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
                                         .rowCheck = {},
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
        server.start();
        const std::string urlTxt = server.url("/listed?q={$url}") + "\r\n" + server.url("/gone") + "\r\n";
        open(urlTxt.c_str());
        auto* start = control<QPushButton>("按钮1");

        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_COMPARE(start->text(), u("停止提交"));
        QTRY_COMPARE_WITH_TIMEOUT(status(), u("全部提交完成！"), 10000);
        // Completion is declared once every row has started; the last marks may follow it.
        QTRY_COMPARE(cellText(0, 2), u("√"));
        QTRY_COMPARE(cellText(1, 2), u("×"));
        QCOMPARE(control<QProgressBar>("进度条1")->value(), 0);
        QCOMPARE(start->text(), u("停止提交"));

        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_COMPARE(status(), u("成功停止了全部线程，点击开始提交按钮重新提交！"));
        QTRY_COMPARE(start->text(), u("开始提交"));
        window_.reset();
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
        QTest::mouseClick(control<QPushButton>("按钮1"), Qt::LeftButton);

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

    void addressBoxSelectsAllWhenPointedAt()
    {
        open();
        auto* address = control<QLineEdit>("编辑框1");
        auto* addBox = control<QLineEdit>("编辑框2");
        addBox->setFocus();
        QTest::mouseMove(address, QPoint(20, 5));
        QMouseEvent move(QEvent::MouseMove, QPointF(20, 5), address->mapToGlobal(QPointF(20, 5)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(address, &move);
        QTRY_COMPARE(address->selectedText(), address->text());

        QTest::keyClicks(addBox, QStringLiteral("abc"));
        QTest::mouseDClick(addBox, Qt::LeftButton);
        QTRY_COMPARE(addBox->selectedText(), QStringLiteral("abc"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
