#include "services/RunAndQuit.h"

#include "services/AppPaths.h"

#include <QCoreApplication>
#include <QProcess>
#include <QThread>

void RunAndQuitFrom(const QString& folder, const QString& fileName)
{
    QProcess::startDetached(folder + fileName, {QStringLiteral("参数1"), QStringLiteral("参数2")});
    QThread::msleep(100);
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

void RunAndQuit(const QString& fileName)
{
    RunAndQuitFrom(ProgramDir(), fileName);
}
