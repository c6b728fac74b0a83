// Checking an export against its hash list: what is found for changed, missing and new files,
// the generation the check adds, and the command's lines and exit codes.
#include "TestFiles.h"
#include "export/ExportVerify.h"
#include "export/FileHash.h"
#include "export/HashList.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTextStream>
#include <functional>
#include <ostream>

// Readable results and actions in failure messages.
void PrintTo(VerifyLine::Result result, std::ostream* os)
{
    *os << VerifyResultText(result);
}
void PrintTo(HashedFile::Action action, std::ostream* os)
{
    const char* const names[] = {"original", "verified", "failed", "known"};
    *os << names[int(action)];
}

namespace {

using Result = VerifyLine::Result;
using Action = HashedFile::Action;

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
}

// An export of three files in two folders, recorded by one generation as an export records them.
struct RecordedExport {
    TempFolder temp;
    QString root = temp.file(QStringLiteral("out"));
    const QMap<QString, QByteArray> contents = {
        {QStringLiteral("2024/深圳/DJI_0001.JPG"), QByteArray(5000, 'j')},
        {QStringLiteral("2024/深圳/DJI_0002.MP4"), QByteArray(9 << 20, 'v')}, // more than one read block
        {QStringLiteral("2025/DJI_0003.JPG"), QByteArray("small")},
    };

    RecordedExport()
    {
        QList<HashedFile> files;
        for (auto it = contents.cbegin(); it != contents.cend(); ++it) {
            WriteBytes(root + u'/' + it.key(), it.value());
            HashedFile file;
            file.path = it.key();
            file.size = it.value().size();
            file.modified = QFileInfo(root + u'/' + it.key()).lastModified();
            file.xxh64 = Xxh64Hex(Xxh64Of(it.value().constData(), size_t(it.value().size())));
            file.hashDate = QDateTime::currentDateTimeUtc();
            file.source = QStringLiteral("DCIM/100MEDIA/") + QFileInfo(it.key()).fileName();
            files.append(file);
        }
        QString error;
        EXPECT_TRUE(WriteGeneration(root, {}, files, &error)) << error.toStdString();
    }
    QString path(const QString& relative) const { return root + u'/' + relative; }
};

QMap<QString, Result> ResultsOf(const VerifyReport& report)
{
    QMap<QString, Result> results;
    for (const VerifyLine& line : report.lines)
        results.insert(line.path, line.result);
    return results;
}

TEST(ExportVerify, AnIntactExportIsAllRightAndTheCheckIsRecorded)
{
    RecordedExport out;
    qint64 lastDone = -1, lastTotal = -1;
    QList<VerifyLine> streamed;
    const VerifyReport report = VerifyExport(
        out.root, {},
        [&](qint64 done, qint64 total) {
            EXPECT_GE(done, lastDone);
            lastDone = done;
            lastTotal = total;
        },
        [&](const VerifyLine& line) { streamed.append(line); });
    EXPECT_TRUE(report.AllRight()) << report.error.toStdString();
    EXPECT_EQ(ResultsOf(report), (QMap<QString, Result>{{"2024/深圳/DJI_0001.JPG", Result::Correct},
                                                         {"2024/深圳/DJI_0002.MP4", Result::Correct},
                                                         {"2025/DJI_0003.JPG", Result::Correct}}));
    EXPECT_EQ(streamed.size(), report.lines.size());
    EXPECT_EQ(lastDone, 5000 + (9 << 20) + 5);
    EXPECT_EQ(lastTotal, lastDone);

    EXPECT_TRUE(QFileInfo(report.generation).fileName().startsWith(u"0002_out_")) << report.generation.toStdString();
    EXPECT_TRUE(ReadTextFile(report.generation).contains(u"<process>in-place</process>"));
    const HashHistory history = HashHistory::Load(out.root);
    EXPECT_EQ(history.generations(), 2);
    for (const HashedFile& file : history.files()) {
        EXPECT_EQ(file.action, Action::Verified) << file.path.toStdString();
        // The check keeps where each copy came from.
        EXPECT_EQ(file.source, QStringLiteral("DCIM/100MEDIA/") + QFileInfo(file.path).fileName());
    }
    EXPECT_EQ(ReadTextFile(out.root + QStringLiteral("/ascmhl/ascmhl_chain.xml")).count(u"<hashlist sequencenr="), 2);
}

// Each kind of damage is found for its file alone, and recorded for the next check.
TEST(ExportVerify, FindsChangedMissingAndUnrecordedFiles)
{
    const struct Case {
        const char* name;
        std::function<void(const RecordedExport&)> damage;
        QMap<QString, Result> changed; // the rest are Correct
        QMap<QString, Action> recorded; // the latest entry after the check
    } cases[] = {
        {"one byte changed",
         [](const RecordedExport& out) {
             QFile file(out.path(QStringLiteral("2024/深圳/DJI_0002.MP4")));
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             file.seek(7 << 20);
             file.write("w");
         },
         {{"2024/深圳/DJI_0002.MP4", Result::Mismatch}},
         {{"2024/深圳/DJI_0002.MP4", Action::Failed}, {"2025/DJI_0003.JPG", Action::Verified}}},
        {"a file deleted",
         [](const RecordedExport& out) { ASSERT_TRUE(QFile::remove(out.path(QStringLiteral("2025/DJI_0003.JPG")))); },
         {{"2025/DJI_0003.JPG", Result::Missing}},
         // not read, so not in the new generation: the first one's entry stays the latest
         {{"2025/DJI_0003.JPG", Action::Original}, {"2024/深圳/DJI_0001.JPG", Action::Verified}}},
        {"new files",
         [](const RecordedExport& out) {
             WriteBytes(out.path(QStringLiteral("2025/DJI_0004.JPG")), "new");
             WriteBytes(out.path(QStringLiteral("notes.txt")), "new");
             // Hidden leftovers and the record's own folder are no business of the check.
             WriteBytes(out.path(QStringLiteral("2025/.DJI_0005.JPG.orvek-part")), "part");
             WriteBytes(out.path(QStringLiteral(".trash/x.jpg")), "x");
             WriteBytes(out.path(QStringLiteral("ascmhl/notes.txt")), "x");
         },
         {{"2025/DJI_0004.JPG", Result::Unrecorded}, {"notes.txt", Result::Unrecorded}},
         {{"2025/DJI_0003.JPG", Action::Verified}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedExport out;
        c.damage(out);
        const VerifyReport report = VerifyExport(out.root);
        EXPECT_FALSE(report.AllRight());
        EXPECT_TRUE(report.error.isEmpty()) << report.error.toStdString();
        QMap<QString, Result> expected;
        for (auto it = out.contents.cbegin(); it != out.contents.cend(); ++it)
            expected.insert(it.key(), Result::Correct);
        expected.insert(c.changed);
        EXPECT_EQ(ResultsOf(report), expected);
        EXPECT_EQ(report.lines.size(), expected.size()); // each file once

        const HashHistory history = HashHistory::Load(out.root);
        EXPECT_EQ(history.generations(), 2);
        for (auto it = c.recorded.cbegin(); it != c.recorded.cend(); ++it)
            EXPECT_EQ(history.Find(it.key())->action, it.value()) << it.key().toStdString();
        EXPECT_FALSE(history.Find(QStringLiteral("2025/DJI_0004.JPG"))); // reported, never recorded

        // The next check still judges by the hash first recorded, not by the failed one.
        const VerifyReport again = VerifyExport(out.root);
        EXPECT_EQ(ResultsOf(again), expected);
    }
}

TEST(ExportVerify, AChangedFilePutBackIsCorrectAgain)
{
    RecordedExport out;
    const QString path = out.path(QStringLiteral("2025/DJI_0003.JPG"));
    WriteBytes(path, "SMALL");
    EXPECT_EQ(ResultsOf(VerifyExport(out.root)).value(QStringLiteral("2025/DJI_0003.JPG")), Result::Mismatch);
    WriteBytes(path, "small");
    const VerifyReport report = VerifyExport(out.root);
    EXPECT_TRUE(report.AllRight());
    EXPECT_EQ(HashHistory::Load(out.root).Find(QStringLiteral("2025/DJI_0003.JPG"))->action, Action::Verified);
}

TEST(ExportVerify, NoRecordAndAStopWriteNothing)
{
    TempFolder temp;
    WriteBytes(temp.file(QStringLiteral("a.jpg")), "a");
    const VerifyReport none = VerifyExport(temp.path());
    EXPECT_FALSE(none.AllRight());
    EXPECT_TRUE(none.error.contains(u"没有校验记录")) << none.error.toStdString();
    EXPECT_TRUE(none.lines.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(temp.file(QStringLiteral("ascmhl"))));

    RecordedExport out;
    std::stop_source stop;
    const VerifyReport stopped = VerifyExport(out.root, stop.get_token(), [&](qint64 done, qint64) {
        if (done > 0)
            stop.request_stop();
    });
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_FALSE(stopped.AllRight());
    EXPECT_TRUE(stopped.generation.isEmpty());
    EXPECT_EQ(HashHistory::Load(out.root).generations(), 1);
}

TEST(ExportVerify, TheCommandPrintsOneLinePerFileAndExitsWithTheOutcome)
{
    const struct Case {
        const char* name;
        std::function<QString(RecordedExport&)> prepare; // gives the folder to check
        int status;
        QStringList lines; // standard output
        const char* said;  // on standard error
    } cases[] = {
        {"all right", [](RecordedExport& out) { return out.root; }, 0,
         {"正确\t2024/深圳/DJI_0001.JPG", "正确\t2024/深圳/DJI_0002.MP4", "正确\t2025/DJI_0003.JPG"},
         "共 3 个文件：正确 3 个，不一致 0 个，缺失 0 个，未记录 0 个"},
        {"damaged",
         [](RecordedExport& out) {
             WriteBytes(out.path(QStringLiteral("2025/DJI_0003.JPG")), "smalL");
             QFile::remove(out.path(QStringLiteral("2024/深圳/DJI_0001.JPG")));
             WriteBytes(out.path(QStringLiteral("extra.jpg")), "x");
             return out.root;
         },
         1,
         {"缺失\t2024/深圳/DJI_0001.JPG", "正确\t2024/深圳/DJI_0002.MP4",
          QStringLiteral("不一致\t2025/DJI_0003.JPG\t记录为 %1，现为 %2")
              .arg(Xxh64Hex(Xxh64Of("small", 5)), Xxh64Hex(Xxh64Of("smalL", 5))),
          "未记录\textra.jpg"},
         "共 4 个文件：正确 1 个，不一致 1 个，缺失 1 个，未记录 1 个"},
        {"no record",
         [](RecordedExport& out) {
             QDir(out.path(QStringLiteral("ascmhl"))).removeRecursively();
             return out.root;
         },
         2, {}, "没有校验记录"},
        {"not a folder", [](RecordedExport& out) { return out.path(QStringLiteral("2025/DJI_0003.JPG")); }, 2, {},
         "不是文件夹"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedExport out;
        const QString folder = c.prepare(out);
        QString printed, said;
        QTextStream output(&printed), errors(&said);
        EXPECT_EQ(RunVerifyCommand(folder, output, errors), c.status) << said.toStdString();
        EXPECT_EQ(printed.split(u'\n', Qt::SkipEmptyParts), c.lines);
        EXPECT_TRUE(said.contains(QString::fromUtf8(c.said))) << said.toStdString();
    }
}

} // namespace
