// The program's command line, run as a user or a script runs it: answers without a window.
#include <QProcess>
#include <gtest/gtest.h>

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

} // namespace
