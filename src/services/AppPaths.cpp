#include "services/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString WithTrailingSlash(const QString& folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

QString ProgramDir()
{
    if (QCoreApplication::instance())
        return WithTrailingSlash(QCoreApplication::applicationDirPath());
    return WithTrailingSlash(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2));
}

QString SettingsDir()
{
    // An installed program (its data in ../share/orvek-file) never writes beside itself, even
    // when it could (run as root).
    const QString programDir = ProgramDir();
    const bool installed = QFileInfo(programDir + QStringLiteral("../share/orvek-file")).isDir();
    if (!installed && QFileInfo(programDir).isWritable())
        return programDir;
    const QString fallback = WithTrailingSlash(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)) + QStringLiteral("ORVEK-FILE/");
    QDir().mkpath(fallback);
    return fallback;
}
