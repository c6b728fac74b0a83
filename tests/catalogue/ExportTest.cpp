#include "catalogue/ExportCopy.h"
#include "catalogue/ExportTask.h"

#include "JpegFixtures.h"
#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

QByteArray Pattern(qint64 bytes, char seed)
{
    QByteArray data(bytes, '\0');
    for (qint64 i = 0; i < bytes; ++i)
        data[i] = char(seed + i * 7);
    return data;
}

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

TEST(SameFileQuick, SizesHeadsAndTailsMustAgree)
{
    TempFolder folder;
    const QByteArray data = Pattern(100000, 1);
    ASSERT_TRUE(WriteBytes(folder.file("a"), data));
    ASSERT_TRUE(WriteBytes(folder.file("same"), data));
    QByteArray longer = data + "x";
    ASSERT_TRUE(WriteBytes(folder.file("longer"), longer));
    QByteArray tail = data;
    tail[99990] = 'z';
    ASSERT_TRUE(WriteBytes(folder.file("tail"), tail));
    QByteArray middle = data;
    middle[50000] = 'z';
    ASSERT_TRUE(WriteBytes(folder.file("middle"), middle));
    ASSERT_TRUE(WriteBytes(folder.file("empty1"), ""));
    ASSERT_TRUE(WriteBytes(folder.file("empty2"), ""));
    EXPECT_TRUE(SameFileQuick(folder.file("a"), folder.file("same")));
    EXPECT_FALSE(SameFileQuick(folder.file("a"), folder.file("longer")));
    EXPECT_FALSE(SameFileQuick(folder.file("a"), folder.file("tail")));
    EXPECT_TRUE(SameFileQuick(folder.file("a"), folder.file("middle"))) << "only the ends are compared";
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

    const CopyResult failed = CopyWithProgress(folder.file("missing.MOV"), folder.file("x.MOV"), [](const QString&) {}, {});
    EXPECT_EQ(failed.outcome, CopyOutcome::Failed);
    EXPECT_EQ(failed.error, folder.file("missing.MOV") + "：No such file or directory");
}

TEST(ChooseTarget, SuffixesForDifferentFilesAndEveryEarlierCopyFound)
{
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.file("a.JPG"), Pattern(5000, 1)));
    ASSERT_TRUE(WriteBytes(folder.file("b.JPG"), Pattern(5000, 2)));
    const QStringList siblings = {folder.file("a.JPG"), folder.file("b.JPG")};
    const QString out = folder.path() + "out/";
    QDir().mkpath(out);

    TargetChoice a = ChooseTarget(out, "I-1.JPG", folder.file("a.JPG"), siblings);
    EXPECT_EQ(a.path, out + "I-1.JPG");
    EXPECT_FALSE(a.alreadyThere);
    QFile::copy(folder.file("a.JPG"), a.path);
    TargetChoice b = ChooseTarget(out, "I-1.JPG", folder.file("b.JPG"), siblings);
    EXPECT_EQ(b.path, out + "I-1-1.JPG");
    QFile::copy(folder.file("b.JPG"), b.path);

    EXPECT_TRUE(ChooseTarget(out, "I-1.JPG", folder.file("b.JPG"), siblings).alreadyThere);
    EXPECT_EQ(ChooseTarget(out, "I-1.JPG", folder.file("b.JPG"), siblings).path, out + "I-1-1.JPG");
    EXPECT_TRUE(ChooseTarget(out, "I-1.JPG", folder.file("a.JPG"), siblings).alreadyThere);

    // A file at the name that is none of the sources (a changed copy) is replaced.
    ASSERT_TRUE(WriteBytes(out + "I-2.JPG", "changed"));
    const TargetChoice replaced = ChooseTarget(out, "I-2.JPG", folder.file("a.JPG"), {folder.file("a.JPG")});
    EXPECT_EQ(replaced.path, out + "I-2.JPG");
    EXPECT_FALSE(replaced.alreadyThere);
    EXPECT_EQ(WithSrtExtension(out + "V-1-2.MOV"), out + "V-1-2.SRT");
}

// Rows in memory, for the export without a window.
class RowsHost : public ExportHost {
public:
    QList<ExportRowFacts> rows;
    ExportSettings settings;
    QHash<QString, QStringList> statuses;
    int RowCount() override { return int(rows.size()); }
    ExportRowFacts Row(int i, bool) override { return rows[i]; }
    ExportSettings Settings() override { return settings; }
    void SetStatus(const QString& key, const QString& text) override { statuses[key] << text; }
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
        const bool video = name.endsWith(".MOV");
        host.rows << ExportRowFacts{name + shotTime, path, name, video ? "视频" : "图片", place, shotTime};
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
    EXPECT_EQ(host.statuses.value("C.JPG" + second).last(), QStringLiteral("100"));
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

TEST_F(RunExportTest, AFolderThatCannotBeMadeEndsTheExportWithTheReason)
{
    AddRow("A.JPG", Pattern(3000, 1), "2017/05/03 14:22:10");
    AddRow("B.JPG", Pattern(3000, 2), "2017/05/04 14:22:10");
    ASSERT_TRUE(WriteBytes(folder.path() + "out/2017-05-03", "a file where a folder should go"));
    const ExportReport report = RunExport(host, {});
    EXPECT_EQ(report.failure, "无法创建文件夹 " + folder.path() + "out/2017-05-03/成都市/");
    EXPECT_EQ(report.lines.size(), 1) << "the export ends at that file";
    EXPECT_EQ(Read(folder.path() + "out/2017-05-03"), QByteArray("a file where a folder should go"));
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

} // namespace
