// The flight-log command: the per-second lines, the GPX track read back, and what it says when
// it cannot do its work.
#include "preview/FlightLogCommand.h"

#include "FlightLogFixtures.h"
#include "TestFiles.h"

#include <QTextStream>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {

struct CommandRun {
    int status = -1;
    QString out, err;
    int lookups = 0;
};

CommandRun RunCommand(const QString& log, const QString& gpx = {})
{
    CommandRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = RunFlightLogCommand(log, gpx, [&](const QString&, const QString&, const QString&) {
        ++run.lookups;
        return QStringLiteral("深圳市 南山区 科技园");
    }, out, err);
    out.flush();
    err.flush();
    return run;
}

// The trkpt elements of a GPX document: "lat lon ele time", with what is missing left empty.
QStringList TrackPoints(const QByteArray& gpx, QString& problem)
{
    QStringList points;
    QXmlStreamReader xml(gpx);
    QString current;
    QString inside;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"gpx" && (xml.namespaceUri() != u"http://www.topografix.com/GPX/1/1"
                                         || xml.attributes().value(QStringLiteral("version")) != u"1.1"))
                problem = QStringLiteral("not GPX 1.1");
            if (xml.name() == u"trkpt")
                current = xml.attributes().value(QStringLiteral("lat")).toString() + u' '
                          + xml.attributes().value(QStringLiteral("lon")).toString();
            inside = xml.name().toString();
        } else if (xml.isCharacters() && !xml.isWhitespace() && (inside == u"ele" || inside == u"time")) {
            current += u' ' + xml.text().toString();
        } else if (xml.isEndElement() && xml.name() == u"trkpt") {
            points << current;
        }
    }
    if (xml.hasError())
        problem = xml.errorString();
    return points;
}

TEST(FlightLogCommand, PrintsEachSecondAndWritesTheTrackAsGpx)
{
    TempFolder folder;
    SixLineShape shape;
    shape.seconds = 6;
    shape.unfixedFrom = 2;
    shape.unfixedTo = 4;
    shape.paddedDates = false;
    const QString log = folder.file("DJI_0042.SRT");
    WriteTextFile(log, SixLineLog(shape));
    const QString gpx = folder.file("track.gpx");

    const CommandRun run = RunCommand(log, gpx);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6) << run.out.toStdString(); // seconds 0, 1, 2 (held over), 4, 5 and 6 (held over)
    EXPECT_EQ(lines[0], QStringLiteral("0\t2017.08.05 14:11:51\t113.9485\t22.5797\t10.28\t10\t深圳市 南山区 科技园"));
    EXPECT_TRUE(lines[4].startsWith(QStringLiteral("5\t2017.08.05 14:11:56\t113.9490\t22.5797\t"))) << lines[4].toStdString();
    EXPECT_EQ(run.lookups, 1) << "one cell";

    QFile written(gpx);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    QString problem;
    const QStringList points = TrackPoints(written.readAll(), problem);
    EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
    ASSERT_EQ(points.size(), 4); // the held-over second repeats its point
    EXPECT_EQ(points[0], QStringLiteral("22.5797000 113.9485000 10.00 2017-08-05T14:11:51"));
}

TEST(FlightLogCommand, SaysWhyItCannotDoItsWork)
{
    TempFolder folder;
    const QString notALog = folder.file("notes.txt");
    WriteTextFile(notALog, QStringLiteral("just some words\n"));
    const QString log = folder.file("V.SRT");
    WriteTextFile(log, SixLineLog());
    struct Case {
        const char* what;
        QString log, gpx;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"no such file", folder.file("missing.SRT"), {}, 2, "无法读取飞行记录"},
        {"a folder", folder.path(), {}, 2, "无法读取飞行记录"},
        {"no position in it", notALog, {}, 1, "没有位置"},
        {"a GPX that cannot be written", log, folder.file("no-folder/track.gpx"), 1, "无法写入 GPX 文件"},
    };
    for (const Case& c : cases) {
        const CommandRun run = RunCommand(c.log, c.gpx);
        EXPECT_EQ(run.status, c.status) << c.what;
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.says))) << c.what << ": " << run.err.toStdString();
    }
}

} // namespace
