// The flight log beside a video: finding it, the position the scan lists, the six-line
// layout's bracket field, and the reading of logs given as bytes.
#include "metadata/FlightLog.h"

#include "BracketedFlightLogs.h"
#include "FlightLogFixtures.h"
#include "JpegFixtures.h"
#include "TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

// A flight log whose first entry is at position (longitude, latitude).
QByteArray FlightLog(const char* positionLine)
{
    return QByteArray("1\r\n00:00:00,000 --> 00:00:01,000\r\nHOME(104.0000,30.0000) 2017.05.03 14:22:10\r\n")
        + positionLine + "\r\nISO:100 Shutter:60 EV: Fnum:2.2\r\n\r\n2\r\n";
}

TEST(ReadSrtPosition, TakesTheFirstTwoValuesInTheFourthLinesParentheses)
{
    TempFolder folder;
    const std::pair<QByteArray, const char*> cases[] = {
        {FlightLog("GPS(104.5678,30.1234,18) BAROMETER:1.9"), "104.5678,30.1234"},
        {FlightLog("  GPS(-70.6483,-33.8568,18)  "), "-70.6483,-33.8568"},
        {FlightLog("GPS(104.5678)"), "104.5678,"},
        {FlightLog("GPS(104.5,30.1"), ","},           // no ")" after the "("
        {FlightLog("(104.5,30.1)"), "0.0000,0.0000"}, // "(" as the first character
        {FlightLog("no position here"), "0.0000,0.0000"},
        {"1\n00:00:00,000 --> 00:00:01,000\nGPS(1,2)\n", "0.0000,0.0000"}, // only three lines
        {"1\r00:00\rHOME\rGPS(5.5,6.6,7)", "5.5,6.6"},                     // CR line ends, no final break
        {"", "0.0000,0.0000"},
    };
    int n = 0;
    for (const auto& [content, position] : cases) {
        const QString path = folder.file(QStringLiteral("%1.SRT").arg(++n));
        ASSERT_TRUE(WriteBytes(path, content));
        EXPECT_EQ(ReadSrtPosition(path), QString::fromLatin1(position)) << content.toStdString();
    }
    // A byte-order mark selects UTF-16.
    const QString utf16Path = folder.file("utf16.SRT");
    const QString text = QString::fromLatin1(FlightLog("GPS(104.1,30.2,18)"));
    QByteArray utf16("\xFF\xFE", 2);
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    ASSERT_TRUE(WriteBytes(utf16Path, utf16));
    EXPECT_EQ(ReadSrtPosition(utf16Path), QStringLiteral("104.1,30.2"));
    EXPECT_EQ(ReadSrtPosition(folder.file("missing.SRT")), QStringLiteral("0.0000,0.0000"));
}

TEST(ReadSrtPosition, NewerLayoutsGiveTheFirstValidPositionToFourDecimals)
{
    TempFolder folder;
    BracketedLogShape unfixedFirst;
    unfixedFirst.unfixedEntries = 3;
    BracketedLogShape longUnfixed; // the fix comes some hundred kilobytes into the file
    longUnfixed.unfixedEntries = 800;
    longUnfixed.entries = 2;
    SixLineShape unfixedSixLine;
    unfixedSixLine.unfixedFrom = 0;
    unfixedSixLine.unfixedTo = 4;
    BracketedLogShape neverFixed;
    neverFixed.unfixedEntries = 50;
    neverFixed.entries = 0;
    const std::pair<QString, const char*> cases[] = {
        {BracketedFlightLog(), "105.5912,30.5130"},
        {BracketedFlightLog(unfixedFirst), "105.5912,30.5130"},
        {BracketedFlightLog(longUnfixed), "105.5912,30.5130"},
        {BracketedFlightLog(neverFixed), "0.0000,0.0000"},
        // Without time lines: the first fix of the bracketed entries.
        {UntimedBracketedLog(3, [](int n) { return n; }), "113.9432,22.5432"},
        // A six-line log whose first entries have no fix.
        {SixLineLog(unfixedSixLine), "113.9489,22.5797"},
        // Latitude first: the fourth line's pair would be read back to front.
        {"1\n00:00:00,000 --> 00:00:01,000\n2019.08.14 10:22:31\nGPS(-33.8568,-70.6483,301M)\n\n"
         "2\n00:00:01,000 --> 00:00:02,000\n2019.08.14 10:22:32\nGPS(-33.8569,-70.6484,301M)\n",
         "-70.6483,-33.8568"},
        {"1\n00:00:00,000 --> 00:00:01,000\nF/2.8, SS 500, ISO 100, GPS (8.6517, 49.8716, 19), D 24.5m, H 10.0m\n\n",
         "8.6517,49.8716"},
        // The six-line layout's first entry without a fix, its second with one.
        {QString::fromLatin1(FlightLog("GPS(0.000000,0.000000,0)")
                             + "00:00:01,000 --> 00:00:02,000\r\nHOME(104.0000,30.0000) 2017.05.03 14:22:11\r\n"
                               "GPS(104.12346,30.54321,18)\r\n"),
         "104.1235,30.5432"},
        {QString::fromLatin1(FlightLog("GPS(0.000000,0.000000,0)")), "0.000000,0.000000"},
    };
    int n = 0;
    for (const auto& [content, position] : cases) {
        const QString path = folder.file(QStringLiteral("%1.SRT").arg(++n));
        WriteTextFile(path, content);
        EXPECT_EQ(ReadSrtPosition(path), QString::fromLatin1(position)) << content.left(200).toStdString();
    }
}

TEST(SrtCompanion, FoundWhateverTheCaseOfItsExtension)
{
    TempFolder folder;
    for (const char* file : {"A.mov", "A.SRT", "B.MP4", "B.srt", "C.mp4", "C.Srt", "D.mov", "E.mov", "e.SRT"})
        ASSERT_TRUE(WriteBytes(folder.file(file), "x"));
    EXPECT_EQ(SrtCompanion(folder.file("A.mov")), folder.file("A.SRT"));
    EXPECT_EQ(SrtCompanion(folder.file("B.MP4")), folder.file("B.srt"));
    EXPECT_EQ(SrtCompanion(folder.file("C.mp4")), folder.file("C.Srt"));
    EXPECT_EQ(SrtCompanion(folder.file("D.mov")), QString());
    EXPECT_EQ(SrtCompanion(folder.file("E.mov")), QString()) << "the name itself keeps its case";
}

TEST(FlightLogBracketField, PairAndTextAfter)
{
    struct Case {
        const char* line;
        const char* pair;
        const char* after;
    };
    const Case cases[] = {
        {"GPS(113.95,22.58,16) BAROMETER:1.9", "113.95,22.58", "BAROMETER:1.9"},
        {"HOME(113.9484,22.5797)  2016.05.09 13:14:41 \t", "113.9484,22.5797", "2016.05.09 13:14:41"},
        {"X(1) t", "1,", "t"},
        {"X(,,1,,2,3)", "1,2", ""},
        {" ( 1 , 2 )b", " 1 , 2 ", "b"},
        {"X('1,2',3)z", "'1,2',3", "z"},
        {"X(1,2", ",", ""},         // no ")"
        {"X)a(1,2)", ",", "a(1,2)"}, // ")" before "("
        {"(1,2) x", "", ""},         // "(" as first character
        {"no brackets", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        const QString line = QString::fromUtf8(c.line);
        EXPECT_EQ(ParseBracketField(line, BracketPart::Pair), QString::fromUtf8(c.pair)) << c.line;
        EXPECT_EQ(ParseBracketField(line, BracketPart::After), QString::fromUtf8(c.after)) << c.line;
    }
}

TEST(FlightLogSrtPath, ExtensionReplacedByUpperCaseSrtOrAnotherCaseFound)
{
    TempFolder folder;
    for (const char* name : {"A.SRT", "B.srt", "C.SrT", "D.SRT", "D.srt", "E.F.SRT", "dir.x/G.srt"}) {
        QDir().mkpath(QFileInfo(folder.file(name)).path());
        WriteTextFile(folder.file(name), {});
    }
    const std::pair<const char*, const char*> cases[] = {
        {"A.mp4", "A.SRT"},   {"B.MOV", "B.srt"},           {"C.mov", "C.SrT"},
        {"D.mp4", "D.SRT"},   {"E.F.mp4", "E.F.SRT"},       {"dir.x/G.mp4", "dir.x/G.srt"},
        {"dir.x/G", "dir.x/G.srt"},
        {"H.mp4", "H.SRT"},   {"noext", "noext.SRT"},       {"dir.x/H", "dir.x/H.SRT"}, // none there
        {"a.mp4", "a.SRT"},                                 // the name keeps its case
    };
    for (const auto& [video, srt] : cases)
        EXPECT_EQ(SrtPathFor(folder.file(video)), folder.file(srt)) << video;
}

TEST(FlightLogPosition, ALogInMemoryReadsAsTheSameLogOnDisk)
{
    TempFolder folder;
    for (const QByteArray& log : {FlightLog("GPS(104.5678,30.1234,18)"), BracketedFlightLog().toUtf8(), QByteArray()}) {
        WriteBytes(folder.file("log.SRT"), log);
        QBuffer buffer;
        buffer.setData(log);
        ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
        EXPECT_EQ(FlightLogPosition(buffer), ReadSrtPosition(folder.file("log.SRT")));
    }
}

} // namespace
