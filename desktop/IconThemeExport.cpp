// Writes the program's icon into an icon theme folder, one PNG per size the desktop asks for:
// <folder>/hicolor/<n>x<n>/apps/<name>.png.
#include "resources/Icons.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <icon folder> <icon name>\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString apps = QStringLiteral("%1/hicolor/%2x%2/apps").arg(folder).arg(size);
        if (!QDir().mkpath(apps) || !ProgramIconImage(size).save(apps + u'/' + name + QStringLiteral(".png"))) {
            std::fprintf(stderr, "cannot write the %dx%d icon into %s\n", size, size, qPrintable(apps));
            return 1;
        }
    }
    return 0;
}
