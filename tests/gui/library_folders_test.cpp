// Where the program finds url.txt at start: beside itself, then in the user's data folder, then in
// the installation's, laid out in temporary folders as an installed program sees them.
#include "platform/data_folders.h"
#include "support/temp_dir.h"

#include <QObject>
#include <QStringList>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <string>

using tavrin::testing_support::TempDir;

class LibraryFoldersTest : public QObject
{
    Q_OBJECT

private slots:
    void searchOrder_data()
    {
        // `files`: the places holding url.txt ("beside-folder": a folder of that name beside the
        // program). `xdgDataHome`: absolute, relative, empty or unset; `home`: HOME is set.
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("xdgDataHome");
        QTest::addColumn<bool>("home");
        QTest::addColumn<QString>("found");
        const auto row = [](const char* name, const char* files, const char* xdg, bool home,
                            const char* found) {
            QTest::newRow(name) << QString::fromLatin1(files).split(QLatin1Char(' '), Qt::SkipEmptyParts)
                                << QString::fromLatin1(xdg) << home << QString::fromLatin1(found);
        };
        row("beside the program first", "beside xdg home installed", "absolute", true, "beside");
        row("then the user's data folder", "xdg installed", "absolute", true, "xdg");
        row("then the installed one", "installed", "absolute", true, "installed");
        row("XDG_DATA_HOME unset: ~/.local/share", "home installed", "unset", true, "home");
        row("XDG_DATA_HOME set: ~/.local/share is not searched", "home installed", "absolute", true,
            "installed");
        row("a relative XDG_DATA_HOME is ignored", "home installed", "relative", true, "home");
        row("an empty XDG_DATA_HOME is ignored", "home", "empty", true, "home");
        row("no HOME, no XDG_DATA_HOME: the installed one", "installed", "unset", false, "installed");
        row("a folder named url.txt is no library", "beside-folder installed", "absolute", true, "installed");
        row("nowhere: the name beside the program, which loads nothing", "", "absolute", true, "beside");
    }

    void searchOrder()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, xdgDataHome);
        QFETCH(bool, home);
        QFETCH(QString, found);

        // ROOT/prefix/bin/tavrin, ROOT/prefix/share/tavrin, ROOT/home/.local/share/tavrin and
        // ROOT/xdg/tavrin.
        const TempDir root;
        std::filesystem::path programDir = root / "prefix/bin";
        const std::filesystem::path homeDir = root / "home";
        const std::filesystem::path xdgDir = root / "xdg";
        const auto folderOf = [&](const QString& place) -> std::filesystem::path {
            if (place == QLatin1String("beside") || place == QLatin1String("beside-folder"))
                return programDir;
            if (place == QLatin1String("xdg"))
                return xdgDir / "tavrin";
            if (place == QLatin1String("home"))
                return homeDir / ".local/share/tavrin";
            return root / "prefix/share/tavrin";
        };
        std::filesystem::create_directories(programDir);
        for (const QString& place : files) {
            const std::filesystem::path folder = folderOf(place);
            std::filesystem::create_directories(folder);
            if (place == QLatin1String("beside-folder"))
                std::filesystem::create_directory(folder / "url.txt");
            else
                std::ofstream(folder / "url.txt") << "http://a.example/{$url}\r\n";
        }

        std::string xdgValue;
        if (xdgDataHome == QLatin1String("absolute"))
            xdgValue = xdgDir.string();
        else if (xdgDataHome == QLatin1String("relative"))
            xdgValue = "xdg";
        const std::string homeValue = homeDir.string();
        const tavrin::platform::LibraryFolders folders{
            programDir,
            tavrin::platform::userDataFolder(xdgDataHome == QLatin1String("unset") ? nullptr
                                                                                   : xdgValue.c_str(),
                                             home ? homeValue.c_str() : nullptr),
            tavrin::platform::installedDataFolder(programDir, "../share/tavrin")};

        QCOMPARE(QString::fromStdString(tavrin::platform::findLibraryFile(folders, "url.txt").string()),
                 QString::fromStdString((folderOf(found) / "url.txt").string()));
    }
};

QTEST_GUILESS_MAIN(LibraryFoldersTest)
#include "library_folders_test.moc"
