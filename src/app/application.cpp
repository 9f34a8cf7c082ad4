#include "app/application.h"

#include "app/main_window.h"
#include "app/window_look.h"
#include "library/url_library.h"
#include "net/network_init.h"
#include "platform/qt/qt_text.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace tavrin::app {

namespace {

constexpr int kScreenshotPollMs = 50;

bool hasDisplay()
{
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

// Saves a picture of the window once the start-up load has finished, then ends the program.
void takeScreenshotWhenLoaded(MainWindow& window, const QString& file)
{
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, file] {
        if (window.library().isLoading())
            return;
        poll->stop();
        window.flushList();
        // One more turn of the event loop so the status line and the list repaint.
        QTimer::singleShot(kScreenshotPollMs, &window, [&window, file] {
            const bool saved = window.grab().save(file, "PNG");
            if (!saved)
                std::fprintf(stderr, "tavrin: could not write the screenshot %s\n",
                             file.toLocal8Bit().constData());
            QApplication::exit(saved ? 0 : 1);
        });
    });
    poll->start(kScreenshotPollMs);
}

} // namespace

int run(int argc, char** argv)
{
    if (!hasDisplay()) {
        std::fputs("tavrin: no desktop session was found (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                   "The window needs a graphical desktop: start it from one, or run it under Xvfb\n"
                   "(xvfb-run ./build/bin/tavrin).\n",
                   stderr);
        return 1;
    }

    // Before any thread starts: libcurl's global initialisation is not thread-safe.
    net::initNetwork();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrin"));
    QApplication::setFont(defaultGuiFont());
    // The window hides into the notification area; closing a message box meanwhile must not end
    // the program. It ends when the main window closes for good.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save a PNG of the main window after loading, then exit."), QStringLiteral("file"));
    parser.addOption(screenshot);
    const QCommandLineOption updateUrl(
        QStringLiteral("update-url"),
        QStringLiteral("Read the update notice from this address instead of the built-in one."),
        QStringLiteral("url"));
    parser.addOption(updateUrl);
    parser.process(application);

    DesktopServices desktop;
    if (parser.isSet(updateUrl))
        desktop.updateUrl = platform::fromQString(parser.value(updateUrl));
    MainWindow window(QCoreApplication::applicationDirPath().toStdString(), std::move(desktop));
    QObject::connect(&window, &MainWindow::closedForGood, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    window.showCentred();
    if (parser.isSet(screenshot))
        takeScreenshotWhenLoaded(window, parser.value(screenshot));
    return QApplication::exec();
}

} // namespace tavrin::app
