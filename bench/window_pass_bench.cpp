// A pass in the real window (offscreen) over many rows against a local server: how long the
// user-interface thread went without running its event loop, how long the pass took, and the
// peak memory.
//   QT_QPA_PLATFORM=offscreen tavrin_window_pass_bench BASE_URL [rows] [threads]
// BASE_URL is a local server's prefix, e.g. http://127.0.0.1:18123/fast
#include "app/main_window.h"
#include "app/window_look.h"
#include "library/url_library.h"
#include "net/network_init.h"
#include "platform/headless/scripted_desktop.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    tavrin::net::initNetwork();
    QApplication application(argc, argv);
    QApplication::setFont(tavrin::app::defaultGuiFont());
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s BASE_URL [rows] [threads]\n", argv[0]);
        return 2;
    }
    const std::string base = argv[1];
    const int rows = argc > 2 ? std::stoi(argv[2]) : 10000;
    const QString threads = QString::fromLatin1(argc > 3 ? argv[3] : "50");

    tavrin::testing_support::TempDir dir;
    std::string file;
    for (int i = 0; i < rows; ++i)
        file += base + "/" + std::to_string(i) + "/{$url}\r\n";
    dir.write("url.txt", file);

    tavrin::platform::ScriptedDialogs dialogs;
    tavrin::platform::RecordingShell shell;
    tavrin::platform::MemoryTray tray;
    tavrin::app::MainWindow window(
        dir.path(), {&dialogs, &shell, &tray, {}, std::string("http://127.0.0.1:9/"), std::nullopt});
    window.showCentred();
    window.library().waitUntilLoaded();
    window.flushList();
    QApplication::processEvents();

    auto* status = window.findChild<QLabel*>(QString::fromUtf8("透明标签2"));
    auto* start = window.findChild<QPushButton*>(QString::fromUtf8("按钮1"));
    window.findChild<QLineEdit*>(QString::fromUtf8("编辑框3"))->setText(threads);

    QElapsedTimer sinceBeat;
    qint64 longestStallMs = 0;
    QTimer heartbeat;
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout,
                     [&] { longestStallMs = std::max(longestStallMs, sinceBeat.restart()); });
    const QString done = QString::fromUtf8("全部提交完成！");

    QElapsedTimer passClock;
    sinceBeat.start();
    heartbeat.start();
    passClock.start();
    start->click();
    while (status->text() != done && passClock.elapsed() < 600000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const qint64 passMs = passClock.elapsed();
    heartbeat.stop();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("rows %d, threads %s\n", rows, threads.toLatin1().constData());
    std::printf("pass in the window:            %lld ms (%.0f rows/s)\n", static_cast<long long>(passMs),
                rows * 1000.0 / static_cast<double>(passMs));
    std::printf("longest event-loop stall:      %lld ms   (bar: 100 ms)\n",
                static_cast<long long>(longestStallMs));
    std::printf("peak resident memory:          %.1f MB  (bar: 200 MB)\n", usage.ru_maxrss / 1024.0);
    return 0;
}
