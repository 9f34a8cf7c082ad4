// Drives the guest-book window offscreen on a local page, never the network: the right mouse
// button never reaches the page while the left button, keys and the wheel do, and the window
// opens and closes again and again. The menu item opens the browser instead wherever the web
// engine cannot start, without waiting for anything.
#include "app/main_window.h"
#include "platform/headless/scripted_desktop.h"
#include "support/local_addresses.h"
#include "support/temp_dir.h"
#include "support/widget_lookup.h"

#if TAVRIN_HAS_WEBENGINE
#include "app/guestbook_window.h"

#include <QWebEnginePage>
#include <QWebEngineView>
#endif

#include <QApplication>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <memory>
#include <optional>

#ifndef _WIN32
#include <unistd.h>
#endif

using tavrin::testing_support::TempDir;
using tavrin::testing_support::u;

namespace {

// Whether the test runs as root, the one user the web engine's sandbox refuses (Windows has none).
bool runsAsRoot()
{
#ifdef _WIN32
    return false;
#else
    return ::geteuid() == 0;
#endif
}

// The guest book of the window under test: a port of this machine where nothing listens.
const tavrin::text::Text kGuestbookUrl = "http://127.0.0.1:1/guestbook.asp";

// Sets (or, with a null value, unsets) an environment variable for one scope.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name)
    {
        if (qEnvironmentVariableIsSet(name))
            old_ = qgetenv(name);
        set(value);
    }
    ~ScopedEnv() { set(old_.value_or(QByteArray())); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void set(const QByteArray& value)
    {
        if (value.isNull())
            qunsetenv(name_);
        else
            qputenv(name_, value);
    }

    const char* name_;
    std::optional<QByteArray> old_;
};

// Counts the context-menu events that reach a widget.
class ContextMenuSpy : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override
    {
        if (event->type() == QEvent::ContextMenu)
            ++count;
        return false;
    }
};

// A page that records every mouse button it sees. Positions are in page pixels; the window
// shows the page from (5, 168) on.
constexpr char kPage[] = R"(<!DOCTYPE html>
<html><body style="margin:0; height:3000px">
<a id="link" href="#clicked" style="position:absolute; left:280px; top:240px; width:100px; height:30px; display:block">link</a>
<input id="box" style="position:absolute; left:280px; top:300px; width:150px; height:20px">
<script>
window.seen = [];
for (const type of ['mousedown', 'mouseup', 'contextmenu'])
    document.addEventListener(type, event => seen.push(type + event.button));
</script>
</body></html>
)";
constexpr QPoint kLinkCentre{330, 255};
constexpr QPoint kBoxCentre{355, 310};

#if TAVRIN_HAS_WEBENGINE
// The value of a script run in the page, or an invalid QVariant after five seconds.
QVariant evaluate(QWebEnginePage* page, const QString& script)
{
    auto result = std::make_shared<std::optional<QVariant>>();
    page->runJavaScript(script, [result](const QVariant& value) { *result = value; });
    if (!QTest::qWaitFor([&result] { return result->has_value(); }, 5000))
        return {};
    return **result;
}
#endif

} // namespace

class GuestbookWindowTest : public QObject
{
    Q_OBJECT

private:
    QUrl pageUrl()
    {
        if (!dir_)
            dir_ = std::make_unique<TempDir>();
        return QUrl::fromLocalFile(QString::fromStdString(dir_->write("guestbook.html", kPage).string()));
    }

    std::unique_ptr<TempDir> dir_;

private slots:
    void cleanupTestCase() { dir_.reset(); }

    // First, while the engine has not started in this process: started wrongly, it would end it.
    void menuOpensTheBrowserWhereTheEngineCannotStart_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<QByteArray>("value");
#if TAVRIN_HAS_WEBENGINE
        QTest::newRow("helper program missing")
            << QByteArray("QTWEBENGINEPROCESS_PATH") << QByteArray("/nonexistent/QtWebEngineProcess");
        QTest::newRow("root with the sandbox on")
            << QByteArray("QTWEBENGINE_DISABLE_SANDBOX") << QByteArray();
#else
        QTest::newRow("built without the engine") << QByteArray("TAVRIN_UNUSED") << QByteArray();
#endif
    }

    void menuOpensTheBrowserWhereTheEngineCannotStart()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, value);
        if (variable == "QTWEBENGINE_DISABLE_SANDBOX" && !runsAsRoot())
            QSKIP("the sandbox refuses only root");
        const ScopedEnv environment(variable.constData(), value);

        TempDir programDir;
        tavrin::platform::ScriptedDialogs dialogs;
        tavrin::platform::RecordingShell shell;
        tavrin::platform::MemoryTray tray;
        tavrin::app::MainWindow window(
            programDir.path(),
            tavrin::app::DesktopServices{.dialogs = &dialogs,
                                         .shell = &shell,
                                         .tray = &tray,
                                         .rowCheck = {},
                                         .updateUrl = tavrin::testing_support::kNoUpdateNoticeUrl,
                                         .historyDatabase = std::filesystem::path(),
                                         .makerHost = {},
                                         .guestbookUrl = kGuestbookUrl});
        window.show();
        QAction* item = tavrin::testing_support::findMenuItem(window.menuBar(), nullptr, "给我留言");
        QVERIFY(item);
        QVERIFY(item->isVisible());

        // A window opened here would wait for a close: close it so the test fails, not hangs.
        bool windowOpened = false;
        QTimer watchdog;
        connect(&watchdog, &QTimer::timeout, this, [&windowOpened] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                windowOpened = true;
                modal->close();
            }
        });
        watchdog.start(2000);
        QElapsedTimer clock;
        clock.start();
        item->trigger();
        QVERIFY(!windowOpened);
        QVERIFY(clock.elapsed() < 2000);
        QCOMPARE(shell.opened(), std::vector<tavrin::text::Text>{kGuestbookUrl});
    }

    void windowIsLaidOut()
    {
#if !TAVRIN_HAS_WEBENGINE
        QSKIP("built without Qt WebEngine");
#else
        tavrin::app::GuestbookWindow window(pageUrl());
        QCOMPARE(window.windowTitle(), u("给我留言"));
        QCOMPARE(window.size(), QSize(661, 357));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QVERIFY(!(window.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));
        QVERIFY(!window.windowIcon().isNull());
        QCOMPARE(window.view()->geometry(), QRect(-5, -168, 680, 536));
        const QRect screen = window.screen()->geometry();
        QCOMPARE(window.pos(), QPoint((screen.width() - 667) / 2, (screen.height() - 382) / 2));
#endif
    }

    void pageTakesLeftButtonKeysAndWheelButNeverTheRightButton()
    {
#if !TAVRIN_HAS_WEBENGINE
        QSKIP("built without Qt WebEngine");
#else
        tavrin::app::GuestbookWindow window(pageUrl());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWebEnginePage* page = window.view()->page();
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(page, QStringLiteral("typeof seen")).toString(),
                                  QStringLiteral("object"), 20000);
        QVERIFY(window.pageWidget());
        ContextMenuSpy spy;
        window.view()->installEventFilter(&spy);
        const auto at = [&window](QPoint inPage) { return window.view()->mapTo(&window, inPage); };

        // Through the window system, as a real click comes: Qt adds a context-menu event of its own.
        QTest::mouseClick(window.windowHandle(), Qt::RightButton, {}, at(kLinkCentre));
        QTest::mouseDClick(window.windowHandle(), Qt::RightButton, {}, at(kBoxCentre));
        QTest::qWait(100);
        QVERIFY(!QApplication::activePopupWidget());
        QCOMPARE(spy.count, 0);

        // The left button gets through; the page logs in order, so a right click that had
        // reached it would show before this one.
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, at(kLinkCentre));
        QTRY_COMPARE(evaluate(page, QStringLiteral("location.hash")).toString(), QStringLiteral("#clicked"));
        QCOMPARE(evaluate(page, QStringLiteral("seen.join()")).toString(),
                 QStringLiteral("mousedown0,mouseup0"));

        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, at(kBoxCentre));
        QTRY_COMPARE(evaluate(page, QStringLiteral("document.activeElement.id")).toString(),
                     QStringLiteral("box"));
        QTest::keyClicks(window.pageWidget(), QStringLiteral("abc"));
        QTRY_COMPARE(evaluate(page, QStringLiteral("document.getElementById('box').value")).toString(),
                     QStringLiteral("abc"));

        QWheelEvent wheel(QPointF(kBoxCentre), QPointF(window.pageWidget()->mapToGlobal(kBoxCentre)),
                          QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(window.pageWidget(), &wheel);
        QTRY_VERIFY(evaluate(page, QStringLiteral("window.scrollY")).toInt() > 0);
        QCOMPARE(spy.count, 0);
#endif
    }

    void opensAndClosesAgainAndAgain()
    {
#if !TAVRIN_HAS_WEBENGINE
        QSKIP("built without Qt WebEngine");
#else
        const QUrl page = pageUrl();
        for (int round = 0; round < 3; ++round) {
            tavrin::app::GuestbookWindow window(page);
            bool loaded = false;
            bool shown = false;
            bool closedByEsc = false;
            connect(window.view(), &QWebEngineView::loadFinished, this, [&loaded](bool ok) { loaded = ok; });
            QTimer::singleShot(0, this, [&] {
                shown = window.isVisible() && QApplication::activeModalWidget() == &window;
                if (QTest::qWaitFor([&loaded] { return loaded; }, 20000) && window.pageWidget())
                    QTest::keyClick(window.pageWidget(), Qt::Key_Escape);
                closedByEsc = !window.isVisible();
                // Never leave the modal loop running: a failure must not hang the suite.
                window.close();
            });
            window.exec();
            const QByteArray where = "round " + QByteArray::number(round);
            QVERIFY2(shown, where.constData());
            QVERIFY2(loaded, where.constData());
            QVERIFY2(closedByEsc, where.constData());
        }
#endif
    }
};

QTEST_MAIN(GuestbookWindowTest)
#include "guestbook_window_test.moc"
