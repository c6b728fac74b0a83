#include "export/ExportCopy.h"
#include "catalogue/ExportTask.h"
#include "export/HashList.h"

#include "JpegFixtures.h"
#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

QByteArray Pattern(qint64 bytes, char seed) { return PatternBytes(bytes, seed); }
QByteArray Read(const QString& path) { return ReadFileBytes(path); }

void SetModified(const QString& path, const QDateTime& when)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.setFileTime(when, QFileDevice::FileModificationTime));
}

TEST(SameFileQuick, EqualSizesAndTimesAreACopyOtherwiseTheEndsDecide)
{
    TempFolder folder;
    const QDateTime shot(QDate(2017, 5, 3), QTime(14, 22, 10));
    const QByteArray data = Pattern(100000, 1);
    ASSERT_TRUE(WriteBytes(folder.file("a"), data));
    SetModified(folder.file("a"), shot);
    QByteArray tail = data;
    tail[99990] = 'z';
    QByteArray middle = data;
    middle[50000] = 'z';
    struct Case {
        const char* name;
        QByteArray content;
        QDateTime modified;
        bool copy;
    } cases[] = {
        {"same", data, shot.addMSecs(900), true},             // the time agrees to the second: nothing read
        {"sameTimeOtherEnds", tail, shot, true},              // the quick check trusts size and time
        {"sameOtherTime", data, shot.addSecs(5), true},       // the ends are compared and agree
        {"tailOtherTime", tail, shot.addSecs(5), false},
        {"middleOtherTime", middle, shot.addSecs(5), true},   // only the ends are read
        {"longerSameTime", data + "x", shot, false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteBytes(folder.file(c.name), c.content));
        SetModified(folder.file(c.name), c.modified);
        EXPECT_EQ(SameFileQuick(folder.file("a"), folder.file(c.name)), c.copy) << c.name;
    }
    ASSERT_TRUE(WriteBytes(folder.file("empty1"), ""));
    ASSERT_TRUE(WriteBytes(folder.file("empty2"), ""));
    EXPECT_TRUE(SameFileQuick(folder.file("empty1"), folder.file("empty2")));
    EXPECT_FALSE(SameFileQuick(folder.file("a"), folder.file("missing")));
    EXPECT_FALSE(SameFileQuick(folder.file("a"), folder.dir.path()));
}

TEST(CopyWithProgress, BlocksOfTwoMillionBytesWithTheProgressOneBlockBehind)
{
    TempFolder folder;
    const QByteArray data = Pattern(4000000, 3);
    ASSERT_TRUE(WriteBytes(folder.file("src.MOV"), data));
    const QDateTime shot(QDate(2017, 5, 3), QTime(14, 22, 10));
    QFile source(folder.file("src.MOV"));
    ASSERT_TRUE(source.open(QIODevice::ReadWrite) && source.setFileTime(shot, QFileDevice::FileModificationTime));
    source.close();

    QStringList shown;
    const CopyResult result =
        CopyWithProgress(folder.file("src.MOV"), folder.file("dst.MOV"), [&](const QString& t) { shown << t; }, {});
    EXPECT_EQ(result.outcome, CopyOutcome::Copied);
    EXPECT_EQ(shown, QStringList({"0", "0", "50", "100"}));
    EXPECT_EQ(Read(folder.file("dst.MOV")), data);
    EXPECT_EQ(QFileInfo(folder.file("dst.MOV")).lastModified(), shot) << "the copy keeps the modification time";
    EXPECT_EQ(FilesBelow(folder.path()), QStringList({"dst.MOV", "src.MOV"})) << "no temporary file stays";

    shown.clear();
    ASSERT_TRUE(WriteBytes(folder.file("empty.JPG"), ""));
    EXPECT_EQ(CopyWithProgress(folder.file("empty.JPG"), folder.file("empty-copy.JPG"), [&](const QString& t) { shown << t; }, {}).outcome,
              CopyOutcome::Copied);
    EXPECT_EQ(shown, QStringList({"0", "100"}));
    EXPECT_TRUE(QFileInfo(folder.file("empty-copy.JPG")).exists());
}

TEST(CopyWithProgress, ACancelledCopyLeavesNothingAndAFailureSaysWhy)
{
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.file("src.MOV"), Pattern(7000000, 5)));
    ASSERT_TRUE(WriteBytes(folder.file("dst.MOV"), "an older copy"));
    std::stop_source stop;
    int blocks = 0;
    const CopyResult cancelled = CopyWithProgress(
        folder.file("src.MOV"), folder.file("dst.MOV"),
        [&](const QString&) {
            if (++blocks == 2)
                stop.request_stop();
        },
        stop.get_token());
    EXPECT_EQ(cancelled.outcome, CopyOutcome::Cancelled);
    EXPECT_EQ(Read(folder.file("dst.MOV")), QByteArray("an older copy")) << "the old file is untouched";
    EXPECT_EQ(FilesBelow(folder.path()), QStringList({"dst.MOV", "src.MOV"}));

    // A file that is at the name when the copy is done stays: the copy is not named over it.
    const CopyResult refused = CopyWithProgress(folder.file("src.MOV"), folder.file("dst.MOV"), [](const QString&) {}, {});
    EXPECT_EQ(refused.outcome, CopyOutcome::Failed);
    EXPECT_EQ(refused.error, folder.file("dst.MOV") + "：已有同名文件");
    EXPECT_EQ(Read(folder.file("dst.MOV")), QByteArray("an older copy"));
    EXPECT_EQ(FilesBelow(folder.path()), QStringList({"dst.MOV", "src.MOV"}));

    const CopyResult failed = CopyWithProgress(folder.file("missing.MOV"), folder.file("x.MOV"), [](const QString&) {}, {});
    EXPECT_EQ(failed.outcome, CopyOutcome::Failed);
    EXPECT_EQ(failed.error, folder.file("missing.MOV") + "：文件不存在");
}

TEST(ExportTargets, SuffixesForDifferentFilesEveryEarlierCopyFoundAndNothingReplaced)
{
    TempFolder folder;
    const QDateTime shot(QDate(2017, 5, 3), QTime(14, 22, 10));
    // Burst shots: the same size and the same second, different bytes.
    for (const auto& [name, seed] : {std::pair{"a.JPG", 1}, std::pair{"b.JPG", 2}}) {
        ASSERT_TRUE(WriteBytes(folder.file(name), Pattern(5000, char(seed))));
        SetModified(folder.file(name), shot);
    }
    const QString out = folder.path() + "out/";
    QDir().mkpath(out);
    const auto copy = [](const QString& from, const QString& to) {
        return CopyWithProgress(from, to, [](const QString&) {}, {}).outcome == CopyOutcome::Copied;
    };

    ExportTargets first;
    const TargetChoice a = first.Choose(out, "I-1.JPG", folder.file("a.JPG"));
    EXPECT_EQ(a.path, out + "I-1.JPG");
    EXPECT_FALSE(a.alreadyThere);
    ASSERT_TRUE(copy(folder.file("a.JPG"), a.path));
    first.Wrote(a.path, folder.file("a.JPG"));
    const TargetChoice b = first.Choose(out, "I-1.JPG", folder.file("b.JPG"));
    EXPECT_EQ(b.path, out + "I-1-1.JPG") << "a name this export gave another file is not b's, however alike";
    EXPECT_FALSE(b.alreadyThere);
    ASSERT_TRUE(copy(folder.file("b.JPG"), b.path));
    first.Wrote(b.path, folder.file("b.JPG"));

    // A later export finds both earlier copies, whatever the order.
    ExportTargets again;
    EXPECT_TRUE(again.Choose(out, "I-1.JPG", folder.file("a.JPG")).alreadyThere);
    const TargetChoice bAgain = again.Choose(out, "I-1.JPG", folder.file("b.JPG"));
    EXPECT_TRUE(bAgain.alreadyThere);

    // A file at the name that is no copy of the source (a retouched copy, another card's photo)
    // keeps it: the new copy takes the next free name.
    ASSERT_TRUE(WriteBytes(out + "I-2.JPG", "retouched"));
    EXPECT_EQ(again.Choose(out, "I-2.JPG", folder.file("a.JPG")).path, out + "I-2-1.JPG");
    // A name whose companion (".SRT") holds another file is not free either; one that holds a
    // copy of this file's own companion (its video's copy was removed from the backup) is.
    ASSERT_TRUE(WriteBytes(folder.file("a.SRT"), "the flight's own log"));
    ASSERT_TRUE(WriteBytes(out + "V-3.SRT", "someone's log"));
    EXPECT_EQ(again.Choose(out, "V-3.MOV", folder.file("a.JPG"), {{".SRT", folder.file("a.SRT")}}).path, out + "V-3-1.MOV");
    EXPECT_EQ(again.Choose(out, "V-3.MOV", folder.file("a.JPG")).path, out + "V-3.MOV");
    ASSERT_TRUE(copy(folder.file("a.SRT"), out + "V-4.SRT"));
    EXPECT_EQ(again.Choose(out, "V-4.MOV", folder.file("a.JPG"), {{".SRT", folder.file("a.SRT")}}).path, out + "V-4.MOV");
    EXPECT_EQ(WithExtension(out + "V-1-2.MOV", ".SRT"), out + "V-1-2.SRT");
}

// Rows in memory, for the export without a window.
class RowsHost : public ExportHost {
public:
    QList<ExportRowFacts> rows;
    ExportSettings settings;
    QHash<QString, QStringList> statuses;
    std::function<void(const QString& key)> beforeRow; // runs as the export asks for a row
    int placePolls = 0;                                 // PlacesComing says yes this many times

    QStringList TakeRows() override
    {
        QStringList keys;
        for (const ExportRowFacts& row : rows)
            keys << row.key;
        return keys;
    }
    std::optional<ExportRowFacts> Row(const QString& key, bool) override
    {
        if (beforeRow)
            beforeRow(key);
        for (const ExportRowFacts& row : rows)
            if (row.key == key)
                return row;
        return std::nullopt;
    }
    ExportSettings Settings() override { return settings; }
    void SetStatus(const QString& key, const QString& text) override
    {
        statuses[key] << text;
        if (onStatus)
            onStatus(key, text);
    }
    std::function<void(const QString& key, const QString& text)> onStatus;
    bool PlacesComing() override { return placePolls-- > 0; }
};

class RunExportTest : public testing::Test {
protected:
    void SetUp() override
    {
        host.settings = {ExportSettings::NewFiles, folder.path() + "out", "日期/城市", "遂宁市/船山区/灵泉街道"};
        QDir().mkpath(folder.path() + "out");
    }
    void AddRow(const QString& name, const QByteArray& content, const QString& shotTime, const QString& place = "成都市 武侯区 玉林街道")
    {
        const QString path = folder.path() + "card/" + QString::number(host.rows.size()) + "/" + name;
        ASSERT_TRUE(WriteBytes(path, content));
        const MediaKind kind = name.endsWith(".MOV") ? MediaKind::Video : MediaKind::Photo;
        const PlaceState state = place == "..." ? PlaceState::Pending : PlaceState::Web;
        host.rows << ExportRowFacts{name + shotTime, path, name, kind, place, state, ShotTimeFromText(shotTime),
                                    QString::number(host.rows.size()) + "/" + name};
    }
    QStringList Outcomes(const ExportReport& report)
    {
        QStringList lines;
        for (const ExportLine& line : report.lines)
            lines << QStringLiteral("%1 %2").arg(int(line.outcome)).arg(line.target.mid(folder.path().size()));
        return lines;
    }

    TempFolder folder;
    RowsHost host;
};

TEST_F(RunExportTest, BurstShotsAllArriveOnceAndASecondRunCopiesNothing)
{
    const QString second = "2017/05/03 14:22:10";
    AddRow("A.JPG", Pattern(3000, 1), second);
    AddRow("B.JPG", Pattern(3000, 2), second);
    AddRow("C.JPG", Pattern(3000, 3), second);
    AddRow("V.MOV", Pattern(10, 4), second);
    ASSERT_TRUE(WriteBytes(QFileInfo(host.rows.last().source).path() + "/V.SRT", "1\n00:00\nHOME\nGPS(1,2,3)\n"));

    const ExportReport first = RunExport(host, {});
    EXPECT_TRUE(first.failure.isEmpty());
    const QString dir = "out/2017-05-03/成都市/";
    EXPECT_EQ(Outcomes(first), QStringList({"0 " + dir + "I-20170503142210.JPG", "1 " + dir + "I-20170503142210-1.JPG",
                                            "1 " + dir + "I-20170503142210-2.JPG", "0 " + dir + "V-20170503142210.MOV"}));
    EXPECT_EQ(FilesBelow(folder.path() + dir),
              QStringList({"I-20170503142210-1.JPG", "I-20170503142210-2.JPG", "I-20170503142210.JPG",
                           "V-20170503142210.MOV", "V-20170503142210.SRT"}));
    EXPECT_EQ(Read(folder.path() + dir + "I-20170503142210-2.JPG"), Pattern(3000, 3));

    // Listed in another order the second time: every file finds its own earlier copy.
    std::reverse(host.rows.begin(), host.rows.end());
    const ExportReport again = RunExport(host, {});
    for (const ExportLine& line : again.lines)
        EXPECT_EQ(line.outcome, ExportOutcome::AlreadyThere) << line.source.toStdString();
    EXPECT_EQ(FilesBelow(folder.path() + dir).size(), 5);
    EXPECT_EQ(host.statuses.value("C.JPG" + second).last(), QStringLiteral("已存在"));
}

TEST_F(RunExportTest, EachRowIsNamedWhenItsTurnComesFromItsRowAndTheSettingsOfThatMoment)
{
    AddRow("A.JPG", Pattern(3000, 1), "2017/05/03 14:22:10", "...");
    AddRow("B.JPG", Pattern(3000, 2), "2017/05/03 14:22:11", "...");
    AddRow("C.JPG", Pattern(3000, 3), "2017/05/03 14:22:12");
    AddRow("D.JPG", Pattern(3000, 4), "2017/05/03 14:22:13");
    const auto rowOf = [&](const char* name) -> ExportRowFacts& {
        for (ExportRowFacts& row : host.rows)
            if (row.name == name)
                return row;
        throw std::runtime_error(name);
    };
    host.placePolls = 1000; // the location pass runs
    int askedForA = 0;
    host.beforeRow = [&](const QString& key) {
        if (key == rowOf("A.JPG").key && ++askedForA == 3) {
            rowOf("A.JPG").place = "重庆市 渝中区 解放碑"; // its answer arrives while A waits
            rowOf("A.JPG").placeState = PlaceState::Web;
        }
        if (key == rowOf("B.JPG").key)
            host.placePolls = 0; // the pass has ended: B takes the default place at once
        if (key == rowOf("C.JPG").key) {
            rowOf("C.JPG").place = "上海市 黄浦区 外滩"; // arrived after the start
            rowOf("C.JPG").placeState = PlaceState::Web;
            host.settings.rule = "城市";              // applied during the export
            host.rows.removeLast();                   // D removed meanwhile
            std::reverse(host.rows.begin(), host.rows.end()); // and the list sorted
        }
    };
    const ExportReport report = RunExport(host, {});
    EXPECT_EQ(Outcomes(report), QStringList({"0 out/2017-05-03/重庆市/I-20170503142210.JPG",
                                             "0 out/2017-05-03/遂宁市/I-20170503142211.JPG",
                                             "0 out/上海市/I-20170503142212.JPG"}));
    EXPECT_GE(askedForA, 3);
    EXPECT_EQ(Read(folder.path() + "out/上海市/I-20170503142212.JPG"), Pattern(3000, 3));
}

TEST_F(RunExportTest, AFileThatIsNoCopyOfTheSourceIsNeverReplaced)
{
    AddRow("A.JPG", Pattern(3000, 1), "2017/05/03 14:22:10");
    AddRow("V.MOV", Pattern(3000, 2), "2017/05/03 14:22:11");
    ASSERT_TRUE(WriteBytes(QFileInfo(host.rows.last().source).path() + "/V.SRT", "1\n00:00\nHOME\nGPS(1,2,3)\n"));
    const QString dir = folder.path() + "out/2017-05-03/成都市/";
    ASSERT_TRUE(WriteBytes(dir + "I-20170503142210.JPG", "a retouched copy"));
    ASSERT_TRUE(WriteBytes(dir + "V-20170503142211.SRT", "a log the user edited"));
    EXPECT_EQ(Outcomes(RunExport(host, {})), QStringList({"1 out/2017-05-03/成都市/I-20170503142210-1.JPG",
                                                         "1 out/2017-05-03/成都市/V-20170503142211-1.MOV"}));
    EXPECT_EQ(Read(dir + "I-20170503142210.JPG"), QByteArray("a retouched copy"));
    EXPECT_EQ(Read(dir + "V-20170503142211.SRT"), QByteArray("a log the user edited"));
    EXPECT_EQ(Read(dir + "V-20170503142211-1.SRT"), QByteArray("1\n00:00\nHOME\nGPS(1,2,3)\n"));
    EXPECT_EQ(Outcomes(RunExport(host, {})), QStringList({"2 out/2017-05-03/成都市/I-20170503142210-1.JPG",
                                                         "2 out/2017-05-03/成都市/V-20170503142211-1.MOV"}));
}

TEST_F(RunExportTest, ARawTwinFollowsItsPhotoUnderThePhotosName)
{
    AddRow("A.JPG", Pattern(3000, 1), "2017/05/03 14:22:10");
    ASSERT_TRUE(WriteBytes(QFileInfo(host.rows.last().source).path() + "/A.dng", "raw A"));
    AddRow("B.jpeg", Pattern(3000, 2), "2017/05/03 14:22:11"); // a phone's photo: no twin
    const QString dir = folder.path() + "out/2017-05-03/成都市/";
    ASSERT_TRUE(WriteBytes(dir + "I-20170503142210.JPG", "another card's photo"));

    const ExportReport report = RunExport(host, {});
    EXPECT_TRUE(report.failure.isEmpty()) << report.failure.toStdString();
    EXPECT_EQ(FilesBelow(dir), QStringList({"I-20170503142210-1.DNG", "I-20170503142210-1.JPG", "I-20170503142210.JPG",
                                            "I-20170503142211.jpeg"}));
    EXPECT_EQ(Read(dir + "I-20170503142210-1.DNG"), QByteArray("raw A"));
    // A second run finds both where they are and copies nothing.
    EXPECT_EQ(Outcomes(RunExport(host, {})), QStringList({"2 out/2017-05-03/成都市/I-20170503142210-1.JPG",
                                                         "2 out/2017-05-03/成都市/I-20170503142211.jpeg"}));
    EXPECT_EQ(FilesBelow(dir).size(), 4);
}

TEST_F(RunExportTest, TrailingSeparatorOfTheOutputFolderMakesNoDifference)
{
    AddRow("A.JPG", Pattern(3000, 1), "2017/05/03 14:22:10");
    host.settings.outPath = folder.path() + "out/";
    EXPECT_EQ(Outcomes(RunExport(host, {})), QStringList({"0 out/2017-05-03/成都市/I-20170503142210.JPG"}));
    host.settings.outPath = folder.path() + "out";
    EXPECT_EQ(Outcomes(RunExport(host, {})), QStringList({"2 out/2017-05-03/成都市/I-20170503142210.JPG"}));
}

TEST_F(RunExportTest, OtherModesWalkTheRowsAndWriteNothing)
{
    AddRow("A.JPG", Pattern(3000, 1), "2017/05/03 14:22:10");
    for (ExportSettings::Mode mode : {ExportSettings::ModifySource, ExportSettings::NoMode}) {
        host.settings.mode = mode;
        EXPECT_TRUE(RunExport(host, {}).lines.isEmpty());
    }
    EXPECT_TRUE(FilesBelow(folder.path() + "out").isEmpty());
}

TEST_F(RunExportTest, AFolderThatCannotBeMadeFailsItsFileAndTheRunGoesOn)
{
    AddRow("A.JPG", Pattern(3000, 1), "2017/05/03 14:22:10");
    AddRow("B.JPG", Pattern(3000, 2), "2017/05/04 14:22:10");
    ASSERT_TRUE(WriteBytes(folder.path() + "out/2017-05-03", "a file where a folder should go"));
    const ExportReport report = RunExport(host, {});
    EXPECT_TRUE(report.failure.isEmpty()) << "only a full disk ends the run";
    ASSERT_EQ(report.lines.size(), 2);
    EXPECT_EQ(report.lines[0].outcome, ExportOutcome::Failed);
    EXPECT_EQ(report.lines[0].error, "无法创建文件夹 " + folder.path() + "out/2017-05-03/成都市/");
    EXPECT_EQ(report.lines[1].outcome, ExportOutcome::Copied);
    EXPECT_EQ(report.failedKeys, QStringList({host.rows[0].key}));
    EXPECT_EQ(host.statuses.value(host.rows[0].key).last(), QStringLiteral("失败"));
    EXPECT_FALSE(report.AllVerified());
    EXPECT_EQ(Read(folder.path() + "out/2017-05-03"), QByteArray("a file where a folder should go"));
}

// Every folder below root, relative to it, sorted.
QStringList FoldersBelow(const QString& root)
{
    QStringList folders;
    QDirIterator it(root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        folders << it.next().mid(root.size() + 1);
    folders.sort();
    return folders;
}

TEST(RunExportFolders, FoldersTheRunMadeAndLeftEmptyAreRemovedAtItsEnd)
{
    // A arrives in 2017-05-03/成都市; B's turn ends without a file in 2017-05-04/重庆市.
    enum BTurn { Stopped, Failed, Vanished };
    struct Case {
        const char* name;
        BTurn b;
        bool dayWasThere; // 2017-05-04 existed, empty, before the run
        QStringList after;
    } cases[] = {
        {"stopped mid-copy", Stopped, false, {"2017-05-03", "2017-05-03/成都市", "ascmhl"}},
        {"failed copy", Failed, false, {"2017-05-03", "2017-05-03/成都市", "ascmhl"}},
        {"vanished source", Vanished, false, {"2017-05-03", "2017-05-03/成都市", "ascmhl"}},
        {"a folder that was there stays", Stopped, true, {"2017-05-03", "2017-05-03/成都市", "2017-05-04", "ascmhl"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const QString out = folder.path() + "out";
        ASSERT_TRUE(QDir().mkpath(out));
        if (c.dayWasThere)
            ASSERT_TRUE(QDir().mkpath(out + "/2017-05-04"));
        RowsHost host;
        host.settings = {ExportSettings::NewFiles, out, "日期/城市", "遂宁市/船山区/灵泉街道"};
        const QString a = folder.file("card/A.JPG");
        const QString b = folder.file("card/B.JPG");
        ASSERT_TRUE(WriteBytes(a, Pattern(3000, 1)));
        if (c.b == Failed)
            ASSERT_TRUE(QDir().mkpath(b)); // a folder where the photo should be: it cannot be read as a file
        else if (c.b == Stopped)
            ASSERT_TRUE(WriteBytes(b, Pattern(3 * kCopyBlockBytes, 2)));
        host.rows << ExportRowFacts{"A", a, "A.JPG", MediaKind::Photo, "成都市 武侯区 玉林街道", PlaceState::Web,
                                    WallClock(QDate(2017, 5, 3), QTime(14, 22, 10)), "A.JPG"}
                  << ExportRowFacts{"B", b, "B.JPG", MediaKind::Photo, "重庆市 渝中区 解放碑", PlaceState::Web,
                                    WallClock(QDate(2017, 5, 4), QTime(14, 22, 10)), "B.JPG"};
        std::stop_source stop;
        host.onStatus = [&](const QString& key, const QString& text) {
            if (c.b == Stopped && key == "B" && text == "0")
                stop.request_stop(); // as B's copy starts
        };

        const ExportReport report = RunExport(host, stop.get_token());
        EXPECT_EQ(report.cancelled, c.b == Stopped);
        EXPECT_EQ(report.failedKeys, c.b == Failed ? QStringList({"B"}) : QStringList());
        EXPECT_EQ(FoldersBelow(out), c.after);
        EXPECT_EQ(FilesBelow(out).filter(QRegularExpression("^(?!/ascmhl/)")), QStringList({"/2017-05-03/成都市/I-20170503142210.JPG"}));
        if (c.b == Stopped)
            EXPECT_EQ(host.statuses.value("B"), QStringList({"0", ""})) << "a stopped copy shows no share";
    }
}

TEST_F(RunExportTest, AVanishedSourceIsSkipped)
{
    AddRow("A.JPG", Pattern(3000, 1), "2017/05/03 14:22:10");
    AddRow("B.JPG", Pattern(3000, 2), "2017/05/03 14:22:11");
    QFile::remove(host.rows[0].source);
    const ExportReport report = RunExport(host, {});
    ASSERT_EQ(report.lines.size(), 2);
    EXPECT_EQ(report.lines[0].outcome, ExportOutcome::Vanished);
    EXPECT_EQ(report.lines[1].outcome, ExportOutcome::Copied);
}

// A file that cannot be read, or whose copy the disk does not give back, is 失败 with its
// reason; the files around it arrive, and the hash list names what arrived.
TEST_F(RunExportTest, AFailedFileIsMarkedAndTheRunGoesOnToTheNext)
{
    AddRow("A.JPG", Pattern(3000, 1), "2017/05/03 14:22:10");
    AddRow("B.JPG", Pattern(3000, 2), "2017/05/03 14:22:11");
    AddRow("C.JPG", Pattern(3000, 3), "2017/05/03 14:22:12");
    AddRow("D.JPG", Pattern(3000, 4), "2017/05/03 14:22:13");
    // B cannot be read (a folder stands where the photo was); D's copy comes back changed.
    ASSERT_TRUE(QFile::remove(host.rows[1].source) && QDir().mkpath(host.rows[1].source));
    const auto changeD = [](const QString& hidden, int) {
        if (hidden.contains("I-20170503142213"))
            ASSERT_TRUE(WriteBytes(hidden, Pattern(3000, 99)));
    };
    const ExportReport report = RunExport(host, {}, {}, changeD);
    ASSERT_EQ(report.lines.size(), 4);
    const QString dir = folder.path() + "out/2017-05-03/成都市/";
    EXPECT_EQ(report.lines[0].outcome, ExportOutcome::Copied);
    EXPECT_EQ(report.lines[1].outcome, ExportOutcome::Failed);
    EXPECT_TRUE(report.lines[1].error.startsWith(host.rows[1].source + "：")) << report.lines[1].error.toStdString();
    EXPECT_EQ(report.lines[2].outcome, ExportOutcome::Copied);
    EXPECT_EQ(report.lines[3].outcome, ExportOutcome::Failed);
    EXPECT_EQ(report.lines[3].error, dir + "I-20170503142213.JPG：校验不一致");
    EXPECT_EQ(report.failedKeys, QStringList({host.rows[1].key, host.rows[3].key}));
    EXPECT_TRUE(report.failure.isEmpty());
    EXPECT_FALSE(report.AllVerified());
    EXPECT_EQ(host.statuses.value(host.rows[1].key).last(), QStringLiteral("失败"));
    EXPECT_EQ(host.statuses.value(host.rows[2].key).last(), QStringLiteral("已校验"));
    EXPECT_EQ(FilesBelow(dir), QStringList({"I-20170503142210.JPG", "I-20170503142212.JPG"}));
    const HashHistory history = HashHistory::Load(folder.path() + "out");
    QStringList recorded;
    for (const HashedFile& file : history.files())
        recorded << file.path;
    EXPECT_EQ(recorded, QStringList({"2017-05-03/成都市/I-20170503142210.JPG", "2017-05-03/成都市/I-20170503142212.JPG"}));
}

// The hash list names every file with its companions and where on the card it came from; a
// second run trusts what it recorded without reading it, and a run whose naming rule changed
// finds the earlier copies where they are instead of copying the card again.
TEST_F(RunExportTest, TheHashListNamesEveryCopyAndFindsEarlierCopiesUnderOtherFolders)
{
    AddRow("V.MOV", Pattern(5000, 4), "2017/05/03 14:22:10");
    const QString log = QFileInfo(host.rows[0].source).path() + "/V.SRT";
    ASSERT_TRUE(WriteBytes(log, "1\n00:00\nHOME\nGPS(1,2,3)\n"));
    AddRow("P.JPG", Pattern(3000, 1), "2017/05/03 14:22:11");
    host.rows[0].sourceOnCard = "DCIM/V.MOV";
    host.rows[1].sourceOnCard = "DCIM/P.JPG";
    const ExportReport first = RunExport(host, {});
    ASSERT_TRUE(first.AllVerified()) << ExportSummary(first, 2).toStdString();
    EXPECT_TRUE(first.record.endsWith(".mhl"));

    const auto entries = [&] {
        QStringList lines;
        for (const HashedFile& file : HashHistory::Load(folder.path() + "out").files())
            lines << QStringLiteral("%1 <- %2 %3").arg(file.path, file.source).arg(int(file.action));
        return lines;
    };
    const QString dir = "2017-05-03/成都市/";
    EXPECT_EQ(entries(), QStringList({dir + "I-20170503142211.JPG <- DCIM/P.JPG 0", dir + "V-20170503142210.MOV <- DCIM/V.MOV 0",
                                      dir + "V-20170503142210.SRT <- DCIM/V.SRT 0"}));

    // Nothing new: the list already says it all, and no generation is added.
    const ExportReport again = RunExport(host, {});
    EXPECT_EQ(again.Count(ExportOutcome::AlreadyThere), 2);
    EXPECT_TRUE(again.record.isEmpty());
    EXPECT_TRUE(again.AllVerified());
    EXPECT_EQ(HashHistory::Load(folder.path() + "out").generations(), 1);

    // A new file: the generation lists it, and the copies found with their recorded hashes,
    // trusted by size and time, not read.
    AddRow("Q.JPG", Pattern(3000, 2), "2017/05/03 14:22:12");
    host.rows[2].sourceOnCard = "DCIM/Q.JPG";
    const ExportReport withNew = RunExport(host, {});
    EXPECT_FALSE(withNew.record.isEmpty());
    EXPECT_EQ(entries(), QStringList({dir + "I-20170503142211.JPG <- DCIM/P.JPG 3", dir + "I-20170503142212.JPG <- DCIM/Q.JPG 0",
                                      dir + "V-20170503142210.MOV <- DCIM/V.MOV 3", dir + "V-20170503142210.SRT <- DCIM/V.SRT 3"}));
    host.rows.removeLast();

    // The rule changed: the files are already in the output folder, elsewhere.
    host.settings.rule = "城市/日期";
    const ExportReport moved = RunExport(host, {});
    ASSERT_EQ(moved.lines.size(), 2);
    for (const ExportLine& line : moved.lines) {
        EXPECT_EQ(line.outcome, ExportOutcome::AlreadyThere);
        EXPECT_TRUE(line.target.startsWith(folder.path() + "out/" + dir)) << line.target.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(folder.path() + "out/成都市")) << "nothing copied twice";

    // Another card numbers its files the same way: a photo at the same card path and of the same
    // size, taken at another time, is no copy of the one recorded.
    ASSERT_TRUE(WriteBytes(host.rows[1].source, Pattern(3000, 77)));
    SetModified(host.rows[1].source, QDateTime(QDate(2018, 1, 2), QTime(3, 4, 5)));
    const ExportReport otherCard = RunExport(host, {});
    ASSERT_EQ(otherCard.lines.size(), 2);
    EXPECT_EQ(otherCard.lines[1].outcome, ExportOutcome::Copied);
    EXPECT_EQ(Read(otherCard.lines[1].target), Pattern(3000, 77));
}

// A video whose copy was removed from the backup while its log's copy stayed is copied under
// its old name again, and the log there is recognised (not a needless "-1" pair); a hidden
// leftover of a killed run in a folder the export goes into is removed.
TEST_F(RunExportTest, AVideoComesBackBesideItsLogAndLeftoversOfAKilledRunGo)
{
    AddRow("V.MOV", Pattern(5000, 4), "2017/05/03 14:22:10");
    ASSERT_TRUE(WriteBytes(QFileInfo(host.rows[0].source).path() + "/V.SRT", "1\n00:00\nHOME\nGPS(1,2,3)\n"));
    ASSERT_TRUE(RunExport(host, {}).AllVerified());
    const QString dir = folder.path() + "out/2017-05-03/成都市/";
    ASSERT_TRUE(QFile::remove(dir + "V-20170503142210.MOV"));
    ASSERT_TRUE(WriteBytes(dir + ".V-20170503142299.MOV.orvek-part", "a copy cut short"));

    const ExportReport again = RunExport(host, {});
    ASSERT_EQ(again.lines.size(), 1);
    EXPECT_EQ(again.lines[0].outcome, ExportOutcome::Copied);
    EXPECT_EQ(again.lines[0].target, dir + "V-20170503142210.MOV");
    EXPECT_EQ(FilesBelow(dir), QStringList({"V-20170503142210.MOV", "V-20170503142210.SRT"}));
}

} // namespace

