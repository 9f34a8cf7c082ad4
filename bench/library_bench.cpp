// Figures for the library with a large list in the real Qt list view (offscreen):
//   - import of N lines: time until every row is in the view, and the longest time the
//     user-interface thread went without running its event loop meanwhile;
//   - save of every row;
//   - a new site address: every row expanded again, and the longest stall of the loop;
//   - peak resident memory with the rows in the list.
// Usage: QT_QPA_PLATFORM=offscreen tavrin_library_bench [rows]   (default 100000)
#include "app/main_window.h"
#include "app/window_look.h"
#include "library/url_library.h"
#include "platform/headless/scripted_desktop.h"
#include "support/local_addresses.h"
#include "support/temp_dir.h"
#include "window/library_handlers.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <string>

namespace {

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setFont(tavrin::app::defaultGuiFont());
    const int rows = argc > 1 ? std::stoi(argv[1]) : 100000;

    tavrin::testing_support::TempDir dir;
    std::string file;
    for (int i = 0; i < rows; ++i)
        file += "http://rank" + std::to_string(i % 977) +
                ".example/site/{$url}/info?id=" + std::to_string(i) + "\r\n";
    const auto importFile = dir.write("import.txt", file);
    file.clear();
    file.shrink_to_fit();

    tavrin::platform::ScriptedDialogs dialogs;
    tavrin::platform::RecordingShell shell;
    tavrin::platform::MemoryTray tray;
    tavrin::app::MainWindow window(dir.path(), {.dialogs = &dialogs,
                                                .shell = &shell,
                                                .tray = &tray,
                                                .rowCheck = {},
                                                .updateUrl = tavrin::testing_support::kNoUpdateNoticeUrl,
                                                .historyDatabase = std::nullopt});
    window.showCentred();
    QApplication::processEvents();
    const long baseKiB = peakResidentKiB();
    auto* view = window.findChild<QTableView*>(QString::fromUtf8("超级列表框1"));

    // A 1 ms heartbeat: the largest gap between two beats is the longest stall of the loop.
    QElapsedTimer sinceBeat;
    qint64 longestStallMs = 0;
    QTimer heartbeat;
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout,
                     [&] { longestStallMs = std::max(longestStallMs, sinceBeat.restart()); });

    QElapsedTimer importClock;
    dialogs.queueFileName(importFile);
    sinceBeat.start();
    heartbeat.start();
    importClock.start();
    window.libraryHandlers().onImportClick();
    while (view->model()->rowCount() < rows)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const qint64 importMs = importClock.elapsed();
    // Keep watching the loop while the view settles and paints.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    heartbeat.stop();

    // Scroll through the list so the view paints rows from all over it.
    for (int row = 0; row < rows; row += rows / 20) {
        view->scrollTo(view->model()->index(row, 0));
        QApplication::processEvents();
    }
    const long loadedKiB = peakResidentKiB();

    QElapsedTimer saveClock;
    dialogs.queueFileName(dir / "saved.txt");
    saveClock.start();
    window.libraryHandlers().onSaveClick();
    const qint64 saveMs = saveClock.elapsed();

    // The user types another site address and presses Enter: every row is expanded again on
    // the user-interface thread, and the view catches up.
    auto* address = window.findChild<QLineEdit*>(QString::fromUtf8("编辑框1"));
    address->setFocus();
    address->selectAll();
    QTest::keyClicks(address, QStringLiteral("http://www.another-site.example/"));
    longestStallMs = 0;
    sinceBeat.restart();
    heartbeat.start();
    QElapsedTimer addressClock;
    addressClock.start();
    QTest::keyClick(address, Qt::Key_Return);
    const qint64 reexpandMs = addressClock.elapsed();
    window.flushList();
    QApplication::processEvents();
    const qint64 addressShownMs = addressClock.elapsed();
    settle.restart();
    while (settle.elapsed() < 200)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    heartbeat.stop();
    const qint64 addressStallMs = longestStallMs;
    const bool followed =
        window.list().cell(rows - 1, tavrin::library::kUrlColumn).find("www.another-site.example") !=
        std::string::npos;

    // A header click on the URL column (distinct keys) and on the mark column (four keys, all
    // ties), each followed by the view catching up.
    QElapsedTimer sortClock;
    sortClock.start();
    view->horizontalHeader()->sectionClicked(1);
    window.flushList();
    QApplication::processEvents();
    const qint64 sortUrlsMs = sortClock.elapsed();
    for (int row = 0; row < rows; row += 3)
        window.list().setCell(row, tavrin::library::kMarkColumn, row % 2 ? "\xA1\xCC" : "\xA1\xC1");
    window.flushList();
    sortClock.restart();
    view->horizontalHeader()->sectionClicked(2);
    window.flushList();
    QApplication::processEvents();
    const qint64 sortMarksMs = sortClock.elapsed();

    std::printf("rows:                          %d\n", rows);
    std::printf("import, all rows in the view:  %lld ms   (bar: 1000 ms)\n",
                static_cast<long long>(importMs));
    std::printf("longest event-loop stall:      %lld ms   (bar: 100 ms)\n",
                static_cast<long long>(longestStallMs));
    std::printf("save of every row:             %lld ms   (bar: 500 ms)\n", static_cast<long long>(saveMs));
    std::printf("new address, rows expanded:    %lld ms, view updated after %lld ms%s\n",
                static_cast<long long>(reexpandMs), static_cast<long long>(addressShownMs),
                followed ? "" : "  (ROWS DID NOT FOLLOW)");
    std::printf("  longest event-loop stall:    %lld ms   (bar: 100 ms)\n",
                static_cast<long long>(addressStallMs));
    std::printf("sort by URL, view updated:     %lld ms   (bar: 500 ms)\n",
                static_cast<long long>(sortUrlsMs));
    std::printf("sort by mark, view updated:    %lld ms   (bar: 500 ms)\n",
                static_cast<long long>(sortMarksMs));
    std::printf("peak resident memory:          %.1f MB  (bar: 150 MB; %.1f MB before the import)\n",
                loadedKiB / 1024.0, baseKiB / 1024.0);
    return 0;
}
