#include "ProgramWindows.h"
#include "resources/Icons.h"
#include "services/AppPaths.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ORVEK-FILE"));
    QApplication::setWindowIcon(ProgramIcon());

    ProgramWindows windows(SettingsDir());
    windows.show();
    return QApplication::exec();
}
