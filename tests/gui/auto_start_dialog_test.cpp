// Drives the auto-start dialog offscreen: its layout, the file dialog, writing and deleting the
// entry in a temporary autostart folder with every message box answered through the platform
// layer, and the main window's menu item that opens it.
#include "app/auto_start_dialog.h"
#include "app/main_window.h"
#include "platform/headless/scripted_desktop.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/qt_text.h"
#include "platform/xdg_auto_start.h"
#include "support/local_addresses.h"
#include "support/temp_dir.h"
#include "support/widget_lookup.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <memory>

using tavrin::app::AutoStartDialog;
using tavrin::platform::ScriptedDialogs;
using tavrin::platform::toQString;
using tavrin::testing_support::TempDir;
using tavrin::testing_support::u;

namespace {

struct Box
{
    QString message;
    QString title;
    int flags;
};

} // namespace

class AutoStartDialogTest : public QObject
{
    Q_OBJECT

private:
    // A fresh dialog whose entries go to `folder` (default: a fresh autostart folder).
    AutoStartDialog& open(std::filesystem::path folder = {})
    {
        list_ = std::make_unique<tavrin::platform::XdgAutoStartList>(folder.empty() ? *dir_ / "autostart"
                                                                                    : std::move(folder));
        dialog_ = std::make_unique<AutoStartDialog>(dialogs_.get(), list_.get());
        dialog_->show();
        return *dialog_;
    }

    template <typename Widget> Widget* control(const char* name)
    {
        auto* widget = dialog_->findChild<Widget*>(u(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }

    QLineEdit* pathBox() { return control<QLineEdit>("编辑框1"); }
    void click(const char* button) { QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton); }

    // Puts text into the path box as typing would (QTest types ASCII only).
    void typePath(const QString& path)
    {
        pathBox()->selectAll();
        pathBox()->insert(path);
    }

    // The message box shown last.
    Box lastBox()
    {
        const auto boxes = dialogs_->shownBoxes();
        if (boxes.empty())
            return {};
        return {toQString(boxes.back().message), toQString(boxes.back().title), boxes.back().flags};
    }

    std::filesystem::path entry() const { return *dir_ / "autostart" / "qvmt_link.exe.desktop"; }

    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<ScriptedDialogs> dialogs_;
    std::unique_ptr<tavrin::platform::XdgAutoStartList> list_;
    std::unique_ptr<AutoStartDialog> dialog_;

private slots:
    void init()
    {
        dir_ = std::make_unique<TempDir>();
        dialogs_ = std::make_unique<ScriptedDialogs>();
        // Whatever the menu's dialog would write stays in the test's folder.
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir_->path().string()));
    }

    void cleanup()
    {
        dialog_.reset();
        list_.reset();
        dialogs_.reset();
        dir_.reset();
    }

    void controlsAreLaidOut_data()
    {
        using tavrin::testing_support::addLayoutRow;
        tavrin::testing_support::addLayoutColumns();
        addLayoutRow("分组框1", {8, 2, 264, 104}, "");
        addLayoutRow("标签1", {16, 16, 48, 24}, "目录：");
        addLayoutRow("编辑框1", {65, 15, 143, 24}, "");
        addLayoutRow("按钮3", {216, 15, 40, 24}, "打开");
        addLayoutRow("按钮1", {65, 70, 70, 30}, "写注册项");
        addLayoutRow("按钮2", {187, 70, 70, 30}, "删除注册项");
        addLayoutRow("透明标签1", {10, 111, 262, 16}, "提示：若杀软阻止，请关闭杀软再运行！");
    }

    void controlsAreLaidOut()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        open();
        auto* widget = dialog_->findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->parentWidget(), dialog_.get());
        QCOMPARE(widget->geometry(), geometry);
        QCOMPARE(tavrin::testing_support::captionOf(widget), caption);
    }

    void windowStartsAsLaidOut()
    {
        AutoStartDialog& dialog = open();
        QCOMPARE(dialog.windowTitle(), u("设置开机启动"));
        QCOMPARE(dialog.size(), QSize(280, 136));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(!(dialog.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));
        const QRect screen = dialog.screen()->geometry();
        QCOMPARE(dialog.pos(), QPoint((screen.width() - 286) / 2, (screen.height() - 161) / 2));

        QVERIFY(control<QLabel>("标签1")->font().bold());
        QVERIFY(!pathBox()->font().bold());
        QCOMPARE(pathBox()->font().pointSizeF(), 10.5);
        auto* hint = control<QLabel>("透明标签1");
        QVERIFY(hint->font().bold());
        QCOMPARE(hint->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    }

    void browseFillsTheBoxAndCancelBringsBackTheLastChoice()
    {
        open();
        // A cancel on a fresh dialog empties the box, typed text included.
        typePath(QStringLiteral("/typed/by/hand"));
        click("按钮3");
        QCOMPARE(pathBox()->text(), QString());

        dialogs_->queueFileName("/opt/工具/run me.exe");
        click("按钮3");
        QCOMPARE(pathBox()->text(), u("/opt/工具/run me.exe"));
        typePath(QStringLiteral("/something/else"));
        click("按钮3");
        QCOMPARE(pathBox()->text(), u("/opt/工具/run me.exe"));

        // Programs without .exe can be picked here as well.
        const std::vector<tavrin::text::Text> filters = dialogs_->fileFilters();
        QCOMPARE(filters.size(), std::size_t{3});
        QCOMPARE(toQString(filters[0]), u("执行程序文件*.exe|*.exe|所有文件|*"));
    }

    void qtFileDialogGetsEveryFilterEntry_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("qtFilter");
        QTest::newRow("one entry") << u("*.txt(文本文件)|*.txt") << u("*.txt(文本文件) (*.txt)");
        QTest::newRow("two entries") << u("执行程序文件*.exe|*.exe|所有文件|*")
                                     << u("执行程序文件*.exe (*.exe);;所有文件 (*)");
        QTest::newRow("no bar") << u("*.exe") << u("*.exe");
    }

    void qtFileDialogGetsEveryFilterEntry()
    {
        QFETCH(QString, filter);
        QFETCH(QString, qtFilter);
        QCOMPARE(tavrin::platform::qtFileFilter(tavrin::platform::fromQString(filter)), qtFilter);
    }

    void writeRegistersTheBoxAndDeleteRemovesIt()
    {
        open();
        click("按钮1");
        QCOMPARE(lastBox().message, u("写注册项失败！请先打开文件"));
        QCOMPARE(lastBox().title, u("发生错误"));
        QCOMPARE(lastBox().flags, 16);
        QVERIFY(!std::filesystem::exists(entry()));

        // Typed, not chosen: written as it stands.
        typePath(u("/opt/My Tools/新 版.exe"));
        click("按钮1");
        QCOMPARE(lastBox().message, u("添加启动项已经成功了！"));
        QCOMPARE(lastBox().title, u("启动项"));
        QCOMPARE(lastBox().flags, 64);
        QVERIFY(QString::fromStdString(TempDir::read(entry()))
                    .contains(u("\nExec=\"/opt/My Tools/新 版.exe\"\n")));

        dialogs_->queueFileName("/usr/local/bin/tool");
        click("按钮3");
        click("按钮1");
        QVERIFY(QString::fromStdString(TempDir::read(entry())).contains(u("\nExec=/usr/local/bin/tool\n")));

        click("按钮2");
        QCOMPARE(lastBox().message, u("添加的启动项已被删除成功！"));
        QCOMPARE(lastBox().title, u("成功提示"));
        QCOMPARE(lastBox().flags, 64);
        QVERIFY(!std::filesystem::exists(entry()));

        click("按钮2");
        QCOMPARE(lastBox().message, u("您尚未添加过程序启动项"));
        QCOMPARE(lastBox().title, u("错误提示"));
        QCOMPARE(lastBox().flags, 16);
        QCOMPARE(dialogs_->shownBoxes().size(), std::size_t{5});
    }

    void aFailedWriteIsReportedAsAnError()
    {
        // A file where the autostart folder should be: the entry cannot be written, even by root.
        open(dir_->write("autostart", "not a folder"));
        typePath(QStringLiteral("/opt/run.exe"));
        click("按钮1");
        QCOMPARE(dialogs_->shownBoxes().size(), std::size_t{1});
        QCOMPARE(lastBox().message, u("写注册项失败！"));
        QCOMPARE(lastBox().title, u("发生错误"));
        QCOMPARE(lastBox().flags, 16);
        QCOMPARE(TempDir::read(*dir_ / "autostart"), "not a folder");
    }

    void menuOpensAFreshDialogEachTimeAndEscClosesIt()
    {
        tavrin::platform::RecordingShell shell;
        tavrin::platform::MemoryTray tray;
        tavrin::app::MainWindow window(
            dir_->path(),
            tavrin::app::DesktopServices{.dialogs = dialogs_.get(),
                                         .shell = &shell,
                                         .tray = &tray,
                                         .rowCheck = {},
                                         .updateUrl = tavrin::testing_support::kNoUpdateNoticeUrl,
                                         .historyDatabase = std::filesystem::path()});
        window.show();
        QAction* item = tavrin::testing_support::findMenuItem(window.menuBar(), nullptr, "设置开机启动");
        QVERIFY(item);

        QStringList seen;
        for (int round = 0; round < 2; ++round) {
            QTimer::singleShot(0, this, [&seen] {
                auto* dialog = qobject_cast<AutoStartDialog*>(QApplication::activeModalWidget());
                if (!dialog) {
                    seen << QStringLiteral("no dialog");
                    return;
                }
                auto* box = dialog->findChild<QLineEdit*>(u("编辑框1"));
                seen << box->text();
                QTest::keyClicks(box, QStringLiteral("/typed"));
                // The message boxes of the menu's dialog are the window's (scripted) ones.
                QTest::mouseClick(dialog->findChild<QPushButton*>(u("按钮2")), Qt::LeftButton);
                QTest::keyClick(box, Qt::Key_Escape);
            });
            // Returns only when the dialog has closed; a dialog left open would fail the timeout.
            item->trigger();
        }
        QCOMPARE(seen, (QStringList{QString(), QString()}));
        QCOMPARE(lastBox().message, u("您尚未添加过程序启动项"));
        QCOMPARE(dialogs_->shownBoxes().size(), std::size_t{2});
        QVERIFY(window.isVisible());
    }
};

QTEST_MAIN(AutoStartDialogTest)
#include "auto_start_dialog_test.moc"
