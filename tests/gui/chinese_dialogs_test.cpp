// The real window with Qt's real dialogs (offscreen): the close query, the file dialogs and the
// input dialog show Qt's texts in Chinese, although the test runs under an English locale
// (CMakeLists sets LC_ALL and LANGUAGE).
#include "app/main_window.h"
#include "app/qt_translation.h"
#include "library/url_library.h"
#include "platform/headless/scripted_desktop.h"
#include "support/local_addresses.h"
#include "support/temp_dir.h"
#include "support/widget_lookup.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <memory>

using tavrin::app::MainWindow;
using tavrin::testing_support::TempDir;
using tavrin::testing_support::u;

namespace {

// A caption as the user reads it: "是(&Y)" shows as 是 with an underlined Y after it.
QString shown(QString caption)
{
    return caption.remove(QRegularExpression(QStringLiteral("\\(&.\\)"))).remove(QLatin1Char('&'));
}

// Hands the modal dialog of type Dialog to `inspect` once it is open (its exec() is then
// running), and again every few milliseconds until `inspect` returns true, having closed it.
// After a few seconds it gives up (closing a dialog still open), so a dialog that never comes or
// never shows what was awaited fails the test's checks instead of hanging it.
template <typename Dialog> void whenModalOpens(std::function<bool(Dialog*)> inspect)
{
    auto* poll = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, clock, inspect = std::move(inspect)] {
        const bool late = clock->elapsed() > 5000;
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog && !inspect(dialog)) {
            if (!late)
                return;
            dialog->reject();
        } else if (!dialog && !late) {
            return;
        }
        poll->stop();
        poll->deleteLater();
    });
    poll->start(10);
}

QString labelText(QWidget* dialog, const char* name)
{
    auto* label = dialog->findChild<QLabel*>(QString::fromLatin1(name));
    return label ? shown(label->text()) : QStringLiteral("(no label %1)").arg(QString::fromLatin1(name));
}

QStringList buttonTexts(QWidget* dialog)
{
    QStringList texts;
    if (auto* buttons = dialog->findChild<QDialogButtonBox*>()) {
        for (QAbstractButton* button : buttons->buttons())
            texts << shown(button->text());
    }
    return texts;
}

} // namespace

class ChineseDialogsTest : public QObject
{
    Q_OBJECT

private:
    // The window with the real dialogs; the shell and the tray are recorded, not real.
    MainWindow& open(const char* urlTxt = nullptr)
    {
        dir_ = std::make_unique<TempDir>();
        if (urlTxt)
            dir_->write("url.txt", urlTxt);
        shell_ = std::make_unique<tavrin::platform::RecordingShell>();
        tray_ = std::make_unique<tavrin::platform::MemoryTray>();
        window_ = std::make_unique<MainWindow>(
            dir_->path(),
            tavrin::app::DesktopServices{.dialogs = nullptr,
                                         .shell = shell_.get(),
                                         .tray = tray_.get(),
                                         .rowCheck = {},
                                         .updateUrl = tavrin::testing_support::kNoUpdateNoticeUrl,
                                         .historyDatabase = std::filesystem::path()});
        window_->showCentred();
        window_->library().waitUntilLoaded();
        window_->flushList();
        return *window_;
    }

    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<tavrin::platform::RecordingShell> shell_;
    std::unique_ptr<tavrin::platform::MemoryTray> tray_;
    std::unique_ptr<MainWindow> window_;

private slots:
    void initTestCase()
    {
        // As the program does at start; the locale says English.
        QVERIFY(tavrin::app::installQtChinese(*QCoreApplication::instance()));
    }

    void cleanup()
    {
        window_.reset();
        dir_.reset();
    }

    void aMissingTranslationChangesNothing()
    {
        const QString yes = QCoreApplication::translate("QPlatformTheme", "&Yes");
        const QLocale locale;
        QLocale::setDefault(QLocale::c());
        const TempDir empty;
        QVERIFY(!tavrin::app::installQtChinese(*QCoreApplication::instance(),
                                               QString::fromStdString(empty.path().string())));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), yes);
        QCOMPARE(QLocale(), QLocale::c());
        QLocale::setDefault(locale);
    }

    void closeQueryAsksInChinese_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addColumn<bool>("keepsRunning");
        QTest::newRow("是 keeps the program running") << QMessageBox::Yes << true;
        QTest::newRow("否 closes it") << QMessageBox::No << false;
    }

    void closeQueryAsksInChinese()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, keepsRunning);
        MainWindow& window = open();
        QSignalSpy closed(&window, &MainWindow::closedForGood);

        QString title;
        QString text;
        QString yes;
        QString no;
        QString defaultButton;
        whenModalOpens<QMessageBox>([&, answer](QMessageBox* box) {
            title = box->windowTitle();
            text = box->text();
            yes = shown(box->button(QMessageBox::Yes)->text());
            no = shown(box->button(QMessageBox::No)->text());
            defaultButton = shown(box->defaultButton()->text());
            box->button(answer)->click();
            return true;
        });
        window.close();

        QCOMPARE(yes, u("是"));
        QCOMPARE(no, u("否"));
        QCOMPARE(defaultButton, u("否"));
        QCOMPARE(title, u("Tavrin提示"));
        QCOMPARE(text, u("是否继续运行本软件？"));
        QCOMPARE(window.isVisible(), keepsRunning);
        QCOMPARE(closed.count(), keepsRunning ? 0 : 1);
    }

    void fileDialogsAreChinese_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("acceptButton");
        QTest::newRow("保存网址") << u("按钮3") << u("另存为") << u("保存");
        QTest::newRow("导入网址") << u("按钮2") << u("打开") << u("打开");
    }

    void fileDialogsAreChinese()
    {
        QFETCH(QString, button);
        QFETCH(QString, title);
        QFETCH(QString, acceptButton);
        open();
        // The dialog opens in the current folder: one holding a folder and a text file, whose
        // types it names.
        dir_->write("list.txt", "http://a.example/{$url}\r\n");
        std::filesystem::create_directory(*dir_ / "folder");
        const QString previous = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(dir_->path().string()));

        QString shownTitle;
        QStringList labels;
        QStringList buttons;
        QStringList types;
        whenModalOpens<QFileDialog>([&](QFileDialog* dialog) {
            auto* model = dialog->findChild<QFileSystemModel*>();
            const auto typeOf = [&](const char* name) {
                return model->index(QString::fromStdString((*dir_ / name).string()), 2).data().toString();
            };
            // The folder is read on a thread of the model's own.
            if (!model || typeOf("folder").isEmpty() || typeOf("list.txt").isEmpty())
                return false;
            shownTitle = dialog->windowTitle();
            labels << labelText(dialog, "lookInLabel") << labelText(dialog, "fileNameLabel")
                   << labelText(dialog, "fileTypeLabel");
            buttons = buttonTexts(dialog);
            types << typeOf("folder") << typeOf("list.txt");
            dialog->reject();
            return true;
        });
        QTest::mouseClick(window_->findChild<QPushButton*>(button), Qt::LeftButton);
        QDir::setCurrent(previous);

        QCOMPARE(shownTitle, title);
        QCOMPARE(labels, (QStringList{u("查找范围："), u("文件名称："), u("文件类型：")}));
        QCOMPARE(buttons, (QStringList{acceptButton, u("取消")}));
#ifdef _WIN32
        // Windows names file types itself, in the language of the system (English under wine).
        QCOMPARE(types.size(), 2);
#else
        QCOMPARE(types, (QStringList{u("文件夹"), u("纯文本文档")}));
#endif
    }

    void editDialogIsChinese()
    {
        open("http://a.example/{$url}\r\n");
        window_->list().setSelection(0);

        QString title;
        QString prompt;
        QStringList buttons;
        whenModalOpens<QInputDialog>([&](QInputDialog* dialog) {
            title = dialog->windowTitle();
            prompt = dialog->labelText();
            buttons = buttonTexts(dialog);
            dialog->reject();
            return true;
        });
        for (QAction* action : window_->listMenu()->actions()) {
            if (action->text() == u("修改网址"))
                action->trigger();
        }

        QCOMPARE(title, u("修改网址"));
        QCOMPARE(prompt, u("查询网址："));
        QCOMPARE(buttons, (QStringList{u("确定"), u("取消")}));
    }
};

QTEST_MAIN(ChineseDialogsTest)
#include "chinese_dialogs_test.moc"
