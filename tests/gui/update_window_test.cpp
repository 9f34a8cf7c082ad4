// The update check from the real window: at start-up (behind the shown window), from 按钮5
// "检查更新" and from 帮助 → 检查升级, against a notice and files served on 127.0.0.1.
#include "app/main_window.h"
#include "net/network_init.h"
#include "platform/headless/scripted_desktop.h"
#include "platform/qt/qt_text.h"
#include "support/local_addresses.h"
#include "support/local_server.h"
#include "support/temp_dir.h"
#include "support/widget_lookup.h"
#include "text/encoding.h"
#include "update/update_checker.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

using tavrin::app::MainWindow;
using tavrin::platform::BoxAnswer;
using tavrin::platform::toQString;
using tavrin::testing_support::LocalServer;
using tavrin::testing_support::TempDir;
using tavrin::testing_support::u;

namespace {

// Answers through ScriptedDialogs and notes any box asked for away from the window's thread.
class UiThreadDialogs final : public tavrin::platform::Dialogs
{
public:
    tavrin::platform::ScriptedDialogs script;
    std::atomic<bool> calledOffUiThread{false};

    tavrin::platform::BoxAnswer messageBox(const tavrin::text::Text& message, const tavrin::text::Text& title,
                                           int flags) override
    {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            calledOffUiThread = true;
        return script.messageBox(message, title, flags);
    }
    std::filesystem::path openFileName(const tavrin::text::Text& filter) override
    {
        return script.openFileName(filter);
    }
    std::filesystem::path saveFileName(const tavrin::text::Text& filter) override
    {
        return script.saveFileName(filter);
    }
    std::optional<tavrin::text::Text> askText(const tavrin::text::Text& title,
                                              const tavrin::text::Text& prompt,
                                              const tavrin::text::Text& initial) override
    {
        return script.askText(title, prompt, initial);
    }
};

} // namespace

class UpdateWindowTest : public QObject
{
    Q_OBJECT

private:
    // The notice page, written here in UTF-8 and served in GBK.
    void setNotice(const std::string& utf8)
    {
        const std::lock_guard lock(mutex_);
        notice_ = tavrin::text::utf8ToGbk(utf8);
    }

    static std::string newerNotice(const std::string& downloadUrl, const char* mode)
    {
        return "<html><p>////开始</p><p>最新版=2.1</p><p>下载地址=" + downloadUrl +
               "</p><p>下载方式=" + mode +
               "</p><p>更新说明=修正</p><p>更快更新说明结束</p><p>////结束</p></html>";
    }

    // How the notice is answered: its status, and whether the page stops halfway.
    void setNoticeAnswer(int status, bool cutShort)
    {
        const std::lock_guard lock(mutex_);
        noticeStatus_ = status;
        cutShort_ = cutShort;
    }

    // While held, the notice is not answered (for at most a few seconds, so a window that
    // waits for it makes the test fail rather than hang).
    void holdNotice(bool hold)
    {
        {
            const std::lock_guard lock(mutex_);
            hold_ = hold;
        }
        released_.notify_all();
    }

    void startServer()
    {
        server_ = std::make_unique<LocalServer>();
        server_->routes().Get("/notice", [this](const httplib::Request&, httplib::Response& response) {
            ++noticeRequests_;
            std::unique_lock lock(mutex_);
            released_.wait_for(lock, std::chrono::seconds(5), [this] { return !hold_; });
            response.status = noticeStatus_;
            if (!cutShort_) {
                response.set_content(notice_, "text/html");
                return;
            }
            // Announces twice the length, sends the page and closes the connection.
            response.set_content_provider(
                notice_.size() * 2, "text/html",
                [page = notice_](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    if (offset != 0)
                        return false;
                    sink.write(page.data(), page.size());
                    return true;
                });
        });
        server_->routes().Get("/files/setup.exe", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string("MZ\0\x01new version", 15), "application/octet-stream");
        });
        server_->routes().Get("/files/missing.exe", [](const httplib::Request&, httplib::Response& response) {
            response.status = 404;
            response.set_content("<html>404 Not Found</html>", "text/html");
        });
        server_->start();
    }

    MainWindow& open(const std::optional<std::string>& noticeUrl = std::nullopt)
    {
        dir_ = std::make_unique<TempDir>();
        dialogs_ = std::make_unique<UiThreadDialogs>();
        shell_ = std::make_unique<tavrin::platform::RecordingShell>();
        tray_ = std::make_unique<tavrin::platform::MemoryTray>();
        window_ = std::make_unique<MainWindow>(
            dir_->path(),
            tavrin::app::DesktopServices{.dialogs = dialogs_.get(),
                                         .shell = shell_.get(),
                                         .tray = tray_.get(),
                                         .rowCheck = {},
                                         .updateUrl = noticeUrl.value_or(server_->url("/notice")),
                                         .historyDatabase = std::filesystem::path()});
        window_->showCentred();
        return *window_;
    }

    // Waits until the start-up check has fetched the notice and finished.
    void waitForStartUpCheck()
    {
        QTRY_COMPARE(noticeRequests_.load(), 1);
        QTRY_VERIFY(window_->updateChecker() && !window_->updateChecker()->checking());
    }

    QString status() const { return window_->findChild<QLabel*>(u("透明标签2"))->text(); }

    std::vector<tavrin::platform::ScriptedDialogs::ShownBox> boxes() const
    {
        return dialogs_->script.shownBoxes();
    }

    QAction* menuBarAction(const char* menu, const char* title)
    {
        QAction* action = tavrin::testing_support::findMenuItem(window_->menuBar(), menu, title);
        if (!action)
            qFatal("no menu item %s/%s", menu, title);
        return action;
    }

    std::mutex mutex_;
    std::condition_variable released_;
    bool hold_ = false;      // guarded by mutex_
    std::string notice_;     // guarded by mutex_
    int noticeStatus_ = 200; // guarded by mutex_
    bool cutShort_ = false;  // guarded by mutex_
    std::atomic<int> noticeRequests_{0};
    std::unique_ptr<LocalServer> server_;
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<UiThreadDialogs> dialogs_;
    std::unique_ptr<tavrin::platform::RecordingShell> shell_;
    std::unique_ptr<tavrin::platform::MemoryTray> tray_;
    std::unique_ptr<MainWindow> window_;

private slots:
    void initTestCase() { tavrin::net::initNetwork(); }

    void init()
    {
        noticeRequests_ = 0;
        holdNotice(false);
        setNoticeAnswer(200, false);
        setNotice("<html>nothing new</html>");
        startServer();
    }

    void cleanup()
    {
        holdNotice(false);
        window_.reset();
        server_.reset();
        dir_.reset();
    }

    void startUpCheckRunsBehindTheShownWindow()
    {
        setNotice(newerNotice("http://127.0.0.1:1/setup.exe", "打开网页"));
        holdNotice(true);
        QElapsedTimer clock;
        clock.start();
        MainWindow& window = open();
        // The window is up and its event loop turns while the notice is still on its way.
        QVERIFY(clock.elapsed() < 2000);
        QTRY_COMPARE(noticeRequests_.load(), 1);
        bool ticked = false;
        QTimer::singleShot(10, &window, [&ticked] { ticked = true; });
        QTRY_VERIFY(ticked);
        QVERIFY(window.isVisible());
        QVERIFY(boxes().empty());

        holdNotice(false);
        QTRY_COMPARE(boxes().size(), std::size_t{1});
        QCOMPARE(toQString(boxes()[0].message),
                 u("当前版本：v2.0 beta1\r\n最新版本：2.1\r\n更新内容：\r\n修正更快"));
        QCOMPARE(toQString(boxes()[0].title), u("是否下载最新版？"));
        QCOMPARE(boxes()[0].flags, 0x2004);
        QVERIFY(!dialogs_->calledOffUiThread);
        // Answered No: nothing opened, nothing downloaded.
        QTRY_VERIFY(!window.updateChecker()->checking());
        QVERIFY(shell_->opened().empty());
    }

    void buttonDownloadsTheNewVersionOnYes()
    {
        open();
        waitForStartUpCheck();
        QVERIFY(boxes().empty());

        const std::string downloadUrl = server_->url("/files/setup.exe");
        setNotice(newerNotice(downloadUrl, "下载文件"));
        dialogs_->script.queueAnswer(BoxAnswer::Yes);
        QTest::mouseClick(window_->findChild<QPushButton*>(u("按钮5")), Qt::LeftButton);
        QTRY_COMPARE(boxes().size(), std::size_t{2});
        QCOMPARE(toQString(boxes()[1].message),
                 u("新版本已下载到：\r\n") + QString::fromStdString((dir_->path() / "setup.exe").string()));
        QCOMPARE(toQString(boxes()[1].title), QStringLiteral("tips"));
        QCOMPARE(boxes()[1].flags, 0x2000);
        QCOMPARE(shell_->opened(), std::vector<tavrin::text::Text>{downloadUrl});
        QCOMPARE(TempDir::read(dir_->path() / "setup.exe"), std::string("MZ\0\x01new version", 15));
        QVERIFY(!dialogs_->calledOffUiThread);
    }

    void askedCheckSaysWhyNothingIsOffered_data()
    {
        QTest::addColumn<QString>("notice");
        QTest::addColumn<int>("noticeStatus");
        QTest::addColumn<bool>("cutShort");
        QTest::addColumn<bool>("serverDown");
        QTest::addColumn<bool>("fromMenu");
        QTest::addColumn<QString>("said");
        const QString sameVersion =
            u("<html><p>////开始</p><p>最新版=v2.0 beta1</p><p>下载地址=http://127.0.0.1:1/setup.exe</p>"
              "<p>下载方式=下载文件</p><p>更新说明=</p><p>更新说明结束</p><p>////结束</p></html>");
        QTest::newRow("nothing newer")
            << sameVersion << 200 << false << false << false << u("当前已是最新版本");
        QTest::newRow("nothing newer, from 检查升级")
            << sameVersion << 200 << false << false << true << u("当前已是最新版本");
        QTest::newRow("no server") << sameVersion << 200 << false << true << false
                                   << u("检查更新失败：没有响应");
        QTest::newRow("an error status")
            << sameVersion << 404 << false << false << true << u("检查更新失败：HTTP 404");
        QTest::newRow("a page cut short")
            << sameVersion << 200 << true << false << false << u("检查更新失败：页面不完整");
        QTest::newRow("a page without the notice") << u("<html>moved</html>") << 200 << false << false
                                                   << false << u("检查更新失败：页面中没有版本信息");
        QTest::newRow("a notice that names no version")
            << u("<html><p>////开始</p><p>最新版=即将发布</p><p>////结束</p></html>") << 200 << false << false
            << true << u("检查更新失败：页面中没有版本信息");
    }

    void askedCheckSaysWhyNothingIsOffered()
    {
        QFETCH(QString, notice);
        QFETCH(int, noticeStatus);
        QFETCH(bool, cutShort);
        QFETCH(bool, serverDown);
        QFETCH(bool, fromMenu);
        QFETCH(QString, said);
        setNotice(notice.toStdString());
        setNoticeAnswer(noticeStatus, cutShort);
        if (serverDown)
            open(tavrin::testing_support::kNoUpdateNoticeUrl);
        else
            open();

        // The start-up check says nothing, whatever it found.
        QTRY_VERIFY(window_->updateChecker() && !window_->updateChecker()->checking());
        QCOMPARE(noticeRequests_.load(), serverDown ? 0 : 1);
        QCoreApplication::processEvents();
        QCOMPARE(status(), u("当前状态：软件初始化成功...."));

        if (fromMenu)
            menuBarAction("帮助", "检查升级")->trigger();
        else
            QTest::mouseClick(window_->findChild<QPushButton*>(u("按钮5")), Qt::LeftButton);
        QTRY_COMPARE(status(), said);
        QCOMPARE(noticeRequests_.load(), serverDown ? 0 : 2);
        QVERIFY(boxes().empty());
    }

    void withoutANoticeAddressNothingIsFetchedAndAskingSaysSo()
    {
        open(std::string());
        // Had a check started, it would be under way now: a fetch has never ended before the
        // window's constructor returns.
        QVERIFY(!window_->updateChecker() || !window_->updateChecker()->checking());

        QTest::mouseClick(window_->findChild<QPushButton*>(u("按钮5")), Qt::LeftButton);
        QTRY_COMPARE(status(), u("没有配置更新地址"));
        window_->findChild<QLabel*>(u("透明标签2"))->clear();
        menuBarAction("帮助", "检查升级")->trigger();
        QTRY_COMPARE(status(), u("没有配置更新地址"));
        QCOMPARE(noticeRequests_.load(), 0);
        QVERIFY(boxes().empty());
        QVERIFY(shell_->opened().empty());
    }

    void askingDuringTheStartUpCheckHearsItsEnd()
    {
        setNotice(u("<html><p>////开始</p><p>最新版=v2.0 beta1</p><p>////结束</p></html>").toStdString());
        holdNotice(true);
        open();
        QTRY_COMPARE(noticeRequests_.load(), 1);
        QVERIFY(window_->updateChecker()->checking());
        QTest::mouseClick(window_->findChild<QPushButton*>(u("按钮5")), Qt::LeftButton);

        holdNotice(false);
        QTRY_COMPARE(status(), u("当前已是最新版本"));
        // The check under way answered the button; no second request was made.
        QCOMPARE(noticeRequests_.load(), 1);
    }

    void menuItemChecksAndAFailedDownloadSaysSo()
    {
        open();
        waitForStartUpCheck();
        dir_->write("missing.exe", "the old version");

        setNotice(newerNotice(server_->url("/files/missing.exe"), "下载文件"));
        dialogs_->script.queueAnswer(BoxAnswer::Yes);
        menuBarAction("帮助", "检查升级")->trigger();
        QTRY_COMPARE(boxes().size(), std::size_t{2});
        QCOMPARE(toQString(boxes()[0].title), u("是否下载最新版？"));
        QCOMPARE(toQString(boxes()[1].message), u("下载失败"));
        QCOMPARE(toQString(boxes()[1].title), QStringLiteral("tips"));
        QCOMPARE(boxes()[1].flags, 16);
        QCOMPARE(TempDir::read(dir_->path() / "missing.exe"), std::string("the old version"));
        QVERIFY(!dialogs_->calledOffUiThread);
    }
};

QTEST_MAIN(UpdateWindowTest)
#include "update_window_test.moc"
