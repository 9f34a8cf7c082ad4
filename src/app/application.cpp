#include "app/application.h"

#include "app/main_window.h"
#include "app/qt_translation.h"
#include "app/window_look.h"
#include "library/url_library.h"
#include "net/network_init.h"
#include "platform/data_folders.h"
#include "platform/qt/qt_text.h"
#include "text/encoding.h"
#include "text/messages.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

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

// Whether any argument is one of `spellings`. --version and --help are answered before anything
// else, so that they work without a display (scripts and package checks ask them on machines
// that have none).
bool asksFor(int argc, char** argv, std::initializer_list<const char*> spellings)
{
    for (int at = 1; at < argc; ++at) {
        for (const char* spelling : spellings) {
            if (std::strcmp(argv[at], spelling) == 0)
                return true;
        }
    }
    return false;
}

// The program's own options, for the parser of a running window and for --help alike.
struct ProgramOptions
{
    QCommandLineOption screenshot;
    QCommandLineOption updateUrl;
};

ProgramOptions addProgramOptions(QCommandLineParser& parser)
{
    parser.addHelpOption();
    // Answered before the parser runs; listed so that --help shows it.
    parser.addVersionOption();
    ProgramOptions options{
        QCommandLineOption(QStringLiteral("screenshot"),
                           QStringLiteral("Save a PNG of the main window after loading, then exit."),
                           QStringLiteral("file")),
        QCommandLineOption(
            QStringLiteral("update-url"),
            QStringLiteral("Read the update notice from this address instead of the built-in one, if any."),
            QStringLiteral("url")),
    };
    parser.addOption(options.screenshot);
    parser.addOption(options.updateUrl);
    return options;
}

// The url.txt loaded at start: beside the program, then the user's own, then the installed one.
std::filesystem::path startupLibrary(const std::filesystem::path& programDir)
{
    const platform::LibraryFolders folders{
        programDir, platform::userDataFolder(),
        platform::installedDataFolder(programDir, TAVRIN_DATA_FROM_PROGRAM)};
    return platform::findLibraryFile(folders, msg::kLibraryFileName);
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
    const std::string version = text::gbkToUtf8(msg::kVersion);
    if (asksFor(argc, argv, {"--version", "-v"})) {
        std::printf("tavrin %s\n", version.c_str());
        return 0;
    }
    if (asksFor(argc, argv, {"--help", "-h"})) {
        // A core application (for the program's name in the usage line) needs no display.
        const QCoreApplication core(argc, argv);
        QCommandLineParser parser;
        addProgramOptions(parser);
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!hasDisplay()) {
        const char* program = argc > 0 ? argv[0] : "tavrin";
        std::fprintf(stderr,
                     "tavrin: no desktop session was found (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                     "The window needs a graphical desktop: start it from one, or under a virtual display\n"
                     "(package xvfb):  xvfb-run -a %s\n"
                     "A picture of the window needs no display:\n"
                     "  QT_QPA_PLATFORM=offscreen %s --screenshot window.png\n",
                     program, program);
        return 1;
    }

    // Before any thread starts: libcurl's global initialisation is not thread-safe.
    net::initNetwork();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrin"));
    QApplication::setApplicationVersion(QString::fromStdString(version));
    // The installed desktop entry: lets a desktop match the window to its icon and name.
    QGuiApplication::setDesktopFileName(QStringLiteral(TAVRIN_DESKTOP_ID));
    QApplication::setFont(defaultGuiFont());
    // The window hides into the notification area; closing a message box meanwhile must not end
    // the program. It ends when the main window closes for good.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    const ProgramOptions options = addProgramOptions(parser);
    parser.process(application);
    // After the command line, whose help stays in one language. Without the translation the
    // dialogs keep Qt's English texts, which is no reason to stop or to complain.
    installQtChinese(application);

    DesktopServices desktop;
    if (parser.isSet(options.updateUrl))
        desktop.updateUrl = platform::fromQString(parser.value(options.updateUrl));
    const std::filesystem::path programDir =
        platform::pathFromQString(QCoreApplication::applicationDirPath());
    MainWindow window(programDir, std::move(desktop), startupLibrary(programDir));
    QObject::connect(&window, &MainWindow::closedForGood, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    window.showCentred();
    if (parser.isSet(options.screenshot))
        takeScreenshotWhenLoaded(window, parser.value(options.screenshot));
    return QApplication::exec();
}

} // namespace tavrin::app
