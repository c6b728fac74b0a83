#include "services/RunAndQuit.h"

#include "TestFiles.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <gtest/gtest.h>

namespace {

TEST(RunAndQuit, StartsTheProgramBesideUsWithItsParametersAndEndsTheLoop)
{
    TempFolder folder;
    const QString updater = folder.file("Update.exe");
    const QString record = folder.file("args.txt");
    WriteTextFile(updater, QStringLiteral("#!/bin/sh\nprintf '%s|' \"$@\" > '%1'\n").arg(record));
    QFile::setPermissions(updater, QFile::permissions(updater) | QFileDevice::ExeOwner);

    RunAndQuitFrom(folder.path(), QStringLiteral("Update.exe"));
    EXPECT_EQ(QCoreApplication::exec(), 0); // returns because the quit was asked for

    QElapsedTimer waited;
    waited.start();
    while (ReadTextFile(record).isEmpty() && waited.elapsed() < 5000)
        QThread::msleep(10);
    EXPECT_EQ(ReadTextFile(record), QStringLiteral("参数1|参数2|"));
}

TEST(RunAndQuit, EndsTheProgramEvenWhenTheUpdaterIsMissing)
{
    TempFolder folder;
    RunAndQuitFrom(folder.path(), QStringLiteral("Update.exe"));
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

} // namespace
