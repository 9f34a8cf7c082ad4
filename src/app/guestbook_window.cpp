#include "app/guestbook_window.h"

#include "app/window_look.h"
#include "platform/qt/qt_text.h"
#include "text/messages.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QMouseEvent>
#include <QWebEngineView>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace tavrin::app {

namespace {

// A fixed frame with a caption: 3-pixel borders and a 19-pixel caption around the client area.
constexpr int kClientWidth = 661;
constexpr int kClientHeight = 357;
constexpr QSize kOuterSize{667, 382};
// The view overhangs the client area: the page's first 168 pixels and its leftmost 5 lie
// outside the window while the page is scrolled to its top.
constexpr QRect kViewGeometry{-5, -168, 680, 536};

// The places where the engine looks for its helper program, in its own order.
QStringList helperCandidates()
{
    const QString fromEnvironment = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
    if (!fromEnvironment.isEmpty())
        return {fromEnvironment};
    const QString name = QStringLiteral("/QtWebEngineProcess");
    return {QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + name,
            QLibraryInfo::path(QLibraryInfo::BinariesPath) + name,
            QCoreApplication::applicationDirPath() + name};
}

bool sandboxSwitchedOff()
{
    const QString noSandbox = QStringLiteral("--no-sandbox");
    return qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX") ||
           qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").split(QLatin1Char(' ')).contains(noSandbox) ||
           QCoreApplication::arguments().contains(noSandbox);
}

bool runningAsRoot()
{
#ifdef Q_OS_UNIX
    return ::getuid() == 0 || ::geteuid() == 0;
#else
    return false;
#endif
}

} // namespace

bool GuestbookWindow::canStartEngine()
{
    const QStringList helpers = helperCandidates();
    if (std::none_of(helpers.begin(), helpers.end(),
                     [](const QString& path) { return QFileInfo::exists(path); }))
        return false;
    // The engine's sandbox refuses to run as root; only a user's explicit switch turns it off.
    return !runningAsRoot() || sandboxSwitchedOff();
}

GuestbookWindow::GuestbookWindow(const QUrl& page)
{
    setObjectName(QStringLiteral("GuestbookWindow"));
    setWindowTitle(platform::toQString(msg::kGuestbookTitle));
    setWindowIcon(programIcon());
    // A fixed frame with the system menu and the close button only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kClientWidth, kClientHeight);

    pageView_ = new QWebEngineView(this);
    pageView_->setObjectName(QStringLiteral("超文本浏览框1"));
    pageView_->setGeometry(kViewGeometry);
    onGuestbookCreated();
    pageView_->load(page);
    centreWindowOnScreen(this, kOuterSize);
}

GuestbookWindow::~GuestbookWindow()
{
    // The view's widgets report to this window's filter while they go; let them go while it is whole.
    delete pageView_;
}

QWidget* GuestbookWindow::pageWidget() const
{
    return pageView_ ? pageView_->focusProxy() : nullptr;
}

void GuestbookWindow::onGuestbookCreated()
{
    // The view makes its page widget when it starts loading, and a new one whenever the page
    // gets a new renderer. Guarding the view and every widget that appears below it, as it
    // appears, leaves no moment in which the page could take a right click, so the window never
    // has to wait for the page widget before it shows: an engine that is slow, or never makes
    // one, cannot hold the program up.
    guard(pageView_);
}

void GuestbookWindow::guard(QObject* object)
{
    if (!object->isWidgetType())
        return;
    object->installEventFilter(this);
    for (QObject* child : object->children())
        guard(child);
}

bool GuestbookWindow::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        guard(static_cast<QChildEvent*>(event)->child());
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
            return true;
        break;
    case QEvent::ContextMenu:
        // Qt follows a right-button press with a context-menu event of its own, which would open
        // the view's menu even though the page never saw the press.
        if (static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Mouse)
            return true;
        break;
    case QEvent::KeyPress:
        // The page swallows Esc; the window still closes on it, as the program's windows do.
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            close();
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tavrin::app
