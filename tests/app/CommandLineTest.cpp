// The program's command line, run as a user or a script runs it: answers without a window, a
// folder to list, and the signals that end it.
#include "EventWait.h"
#include "JpegFixtures.h"
#include "TestFiles.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

#include <csignal>

namespace {

TEST(CommandLine, AnswersAndMistakesWithoutAWindow)
{
    struct Case {
        QStringList arguments;
        int status;
        const char* printed; // on standard output or standard error
    };
    const Case cases[] = {
        {{"--version"}, 0, "ORVEK-FILE 1.0.0.1"},
        {{"--help"}, 0, "--flight-log <LOG>"},
        {{"--bogus"}, 2, "未知的选项：bogus"},
        {{"--scan"}, 2, "--scan"},                // its value is missing
        {{"--gpx", "track.gpx"}, 2, "--flight-log"}, // --gpx alone
        {{"--export", "/tmp"}, 2, "--export ROOT OUT"},
    };
    for (const Case& c : cases) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY")); // a window would fail to open, not wait
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("minimal"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(ORVEK_PROGRAM), c.arguments);
        ASSERT_TRUE(program.waitForFinished(20000)) << c.arguments.join(' ').toStdString();
        const QString printed = QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << c.arguments.join(' ').toStdString();
        EXPECT_EQ(program.exitCode(), c.status) << c.arguments.join(' ').toStdString() << ": " << printed.toStdString();
        EXPECT_TRUE(printed.contains(QString::fromUtf8(c.printed))) << c.arguments.join(' ').toStdString() << ": "
                                                                     << printed.toStdString();
    }
}

// Whether the process has a handler of its own for signal (from /proc: the "SigCgt" mask).
bool CatchesSignal(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

TEST(CommandLine, AFolderIsTheCardToListAndTerminationSignalsEndAsExitDoes)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        TempFolder folder;
        // The program keeps its settings beside itself: a copy in its own folder touches nothing else.
        const QString program = folder.file("orvek-file");
        ASSERT_TRUE(QFile::copy(QStringLiteral(ORVEK_PROGRAM), program));
        const QString card = folder.path() + "card";
        ASSERT_TRUE(WriteBytes(card + "/100/V0001.MOV", "video"));

        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(environment);
        child.start(program, {card});
        ASSERT_TRUE(child.waitForStarted());
        ASSERT_TRUE(WaitFor([&] { return CatchesSignal(child.processId(), signal); }, 20000)) << "no handler";
        ::kill(pid_t(child.processId()), signal);
        ASSERT_TRUE(child.waitForFinished(20000));
        EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(child.exitCode(), 0);
        QFile settings(folder.file("Config.dyi"));
        ASSERT_TRUE(settings.open(QIODevice::ReadOnly)) << "the settings were saved";
        EXPECT_TRUE(settings.readAll().contains(("FilePath=" + card).toUtf8())) << "the folder given was chosen";
    }
}

} // namespace
