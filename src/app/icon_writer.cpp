// tavrin_icon_writer FOLDER SIZE...: writes the program's icon as FOLDER/NxN/apps/tavrin.png for
// every size given, the layout of the hicolor icon theme. Run by the build; not installed.
#include "app/program_icon.h"

#include <QDir>
#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: tavrin_icon_writer FOLDER SIZE...\n", stderr);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    for (int at = 2; at < argc; ++at) {
        bool isNumber = false;
        const int size = QString::fromLocal8Bit(argv[at]).toInt(&isNumber);
        if (!isNumber || size < 1 || size > 1024) {
            std::fprintf(stderr, "tavrin_icon_writer: not a size: %s\n", argv[at]);
            return 2;
        }
        const QString apps = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = folder.filePath(apps + QStringLiteral("/tavrin.png"));
        if (!folder.mkpath(apps) || !tavrin::app::programIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "tavrin_icon_writer: could not write %s\n", file.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
