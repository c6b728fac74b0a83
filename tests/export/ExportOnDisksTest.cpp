// Exports onto the disks pilots plug in: exFAT and NTFS images mounted through FUSE, written by
// the program itself as a user runs it ("orvek-file --export CARD OUT --offline"). These file
// systems have no unnamed files, no renaming that refuses to replace, and (exFAT) no hard links
// and fewer allowed characters; the export must still land every file whole, leave nothing
// half-written behind and never replace a file that is not its own.
#include "DiskImage.h"
#include "FlightLogFixtures.h"
#include "JpegFixtures.h"
#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QDateTime kShot(QDate(2017, 5, 3), QTime(14, 22, 10));

ExifFields ShotAt(const QDateTime& when)
{
    ExifFields fields;
    fields.digitized = when;
    return fields;
}

// Bytes that differ from any other call's (a different seed), so that a copy put under the
// wrong name cannot pass for the right one.
QByteArray NoiseBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A card as the drone leaves it, on the ordinary disk: a video larger than a couple of copy
// blocks with its flight log beside it, a photo with its RAW twin, and two more photos. No file
// has a position, so every folder takes the default place of the settings.
struct Card {
    TempFolder folder;
    // Card file (relative) -> where the export puts it (relative to OUT) with the settings
    // below: the folder rule "日期/城市", the city of the default place.
    QMap<QString, QString> targets;

    Card()
    {
        const auto add = [&](const QString& file, const QByteArray& bytes, const QString& target) {
            EXPECT_TRUE(WriteBytes(folder.file(file), bytes)) << file.toStdString();
            targets.insert(file, target);
        };
        // The video's name comes from its file time; the log has no fix, so no position.
        SixLineShape unfixed;
        unfixed.unfixedFrom = 0;
        unfixed.unfixedTo = unfixed.seconds;
        add("DCIM/100MEDIA/DJI_0001.MP4", NoiseBytes(4500000, 1), "2017-05-03/遂宁市/V-20170503143000.MP4");
        add("DCIM/100MEDIA/DJI_0001.SRT", SixLineLog(unfixed).toUtf8(), "2017-05-03/遂宁市/V-20170503143000.SRT");
        QFile video(folder.file("DCIM/100MEDIA/DJI_0001.MP4"));
        EXPECT_TRUE(video.open(QIODevice::ReadWrite)
                    && video.setFileTime(QDateTime(QDate(2017, 5, 3), QTime(14, 30, 0)), QFileDevice::FileModificationTime));
        add("DCIM/100MEDIA/DJI_0002.JPG", PhotoBytes(ShotAt(kShot)), "2017-05-03/遂宁市/I-20170503142210.JPG");
        add("DCIM/100MEDIA/DJI_0002.DNG", NoiseBytes(300000, 2), "2017-05-03/遂宁市/I-20170503142210.DNG");
        add("DCIM/100MEDIA/DJI_0003.JPG", PhotoBytes(ShotAt(kShot.addSecs(5))), "2017-05-03/遂宁市/I-20170503142215.JPG");
        add("DCIM/101MEDIA/DJI_0004.JPG", PhotoBytes(ShotAt(kShot.addDays(1))), "2017-05-04/遂宁市/I-20170504142210.JPG");
    }
    QString path() const { return folder.dir.path(); }
    QString file(const QString& relative) const { return folder.file(relative); }
};

struct ExportRun {
    int exitCode = -1;
    QStringList lines; // standard output: one line per listed file
    QString errors;    // standard error: the summary and any complaints
    std::string Printed() const { return (lines.join('\n') + '\n' + errors).toStdString(); }
};

// The program, copied into a folder of its own with the settings beside it, so that neither the
// build's nor the user's settings take part.
class Program {
public:
    explicit Program(const QString& settings)
    {
        EXPECT_TRUE(QFile::copy(QStringLiteral(ORVEK_PROGRAM), folder_.file("orvek-file")));
        WriteTextFile(folder_.file("Config.dyi"), settings);
    }

    ExportRun Export(const QString& card, const QString& out) const { return Run({"--export", card, out, "--offline"}); }
    ExportRun Verify(const QString& out) const { return Run({"--verify", out}); }

    ExportRun Run(const QStringList& arguments) const
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("minimal"));
        program.setProcessEnvironment(environment);
        program.start(folder_.file("orvek-file"), arguments);
        ExportRun run;
        if (!program.waitForFinished(120000)) {
            program.kill();
            program.waitForFinished();
            run.errors = QStringLiteral("the program did not finish");
            return run;
        }
        run.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
        run.lines = QString::fromUtf8(program.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        run.errors = QString::fromUtf8(program.readAllStandardError());
        return run;
    }

private:
    TempFolder folder_;
};

const QString kSettings = QStringLiteral("[CityText]\nCityText=日期/城市\n[MorenCity]\nMorenCity=遂宁市/船山区/灵泉街道\n");

// Everything below a folder, relative to it: files with their bytes and modification times,
// folders (hidden ones too) with nothing. What the export keeps of its own (ascmhl/) is left out.
struct TreeEntry {
    QByteArray bytes;
    QDateTime modified;
    bool operator==(const TreeEntry&) const = default;
};
QMap<QString, TreeEntry> Tree(const QString& root)
{
    QMap<QString, TreeEntry> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        if (relative == QStringLiteral("ascmhl") || relative.startsWith(QStringLiteral("ascmhl/")))
            continue;
        const QFileInfo info = it.fileInfo();
        tree.insert(relative, info.isDir() ? TreeEntry{} : TreeEntry{ReadAll(path), info.lastModified()});
    }
    return tree;
}

// The folders a set of files needs, each level on its own: "a/b/c.JPG" needs "a" and "a/b".
QStringList FoldersOf(const QStringList& files)
{
    QStringList folders;
    for (const QString& file : files)
        for (qsizetype slash = file.indexOf(u'/'); slash >= 0; slash = file.indexOf(u'/', slash + 1))
            folders << file.left(slash);
    folders.removeDuplicates();
    return folders;
}

// Checks that OUT holds exactly the copies named in expected (copy -> card file), each byte for
// byte its card file, and the files others that were there before, and nothing else: no partial
// copy, hidden or not.
void ExpectExactly(const QString& out, const Card& card, const QMap<QString, QString>& expected,
                   const QStringList& others = {})
{
    const QMap<QString, TreeEntry> tree = Tree(out);
    QStringList wanted = expected.keys() + others;
    wanted += FoldersOf(wanted);
    wanted.sort();
    EXPECT_EQ(tree.keys(), wanted) << "the copies and their folders, and nothing else";
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (!tree.contains(it.key()))
            continue;
        const QByteArray source = ReadAll(card.file(it.value()));
        EXPECT_TRUE(tree[it.key()].bytes == source)
            << it.key().toStdString() << " is not byte for byte " << it.value().toStdString() << " ("
            << tree[it.key()].bytes.size() << " bytes, " << source.size() << " on the card)";
    }
}

QMap<QString, QString> CopiesOf(const Card& card)
{
    QMap<QString, QString> copies;
    for (auto it = card.targets.begin(); it != card.targets.end(); ++it)
        copies.insert(it.value(), it.key());
    return copies;
}

class ExportOnDisk : public testing::TestWithParam<DiskImage::Kind> {
protected:
    void SetUp() override
    {
        disk_.emplace(GetParam(), 64LL * 1024 * 1024);
        if (!disk_->ok())
            GTEST_SKIP() << disk_->why().toStdString();
        out_ = disk_->root() + QStringLiteral("out");
        ASSERT_TRUE(QDir().mkpath(out_));
    }
    void TearDown() override { disk_.reset(); }

    std::optional<DiskImage> disk_;
    QString out_; // the export's folder on the disk
    Card card_;
};

TEST_P(ExportOnDisk, EveryFileArrivesWholeAndNothingElseIsLeft)
{
    const Program program(kSettings);
    const ExportRun run = program.Export(card_.path(), out_);
    EXPECT_EQ(run.exitCode, 0) << run.Printed();
    // A line per video and photo, naming where it went; its companions follow it unnamed.
    QStringList reported;
    for (const QString& line : run.lines) {
        EXPECT_FALSE(line.startsWith(QStringLiteral("已存在")) || line.startsWith(QStringLiteral("失败"))) << line.toStdString();
        reported << QDir(out_).relativeFilePath(line.section(u'\t', 2, 2));
    }
    reported.sort();
    const QStringList rows = CopiesOf(card_).keys().filter(QRegularExpression(QStringLiteral("\\.(MP4|JPG)$")));
    EXPECT_EQ(reported, rows) << run.Printed();
    ExpectExactly(out_, card_, CopiesOf(card_));
}

TEST_P(ExportOnDisk, ASecondRunCopiesNothingAndChangesNothing)
{
    const Program program(kSettings);
    const ExportRun first = program.Export(card_.path(), out_);
    ASSERT_EQ(first.exitCode, 0) << first.Printed();
    const QMap<QString, TreeEntry> before = Tree(out_);

    const ExportRun second = program.Export(card_.path(), out_);
    EXPECT_EQ(second.exitCode, 0) << second.Printed();
    EXPECT_EQ(second.lines.size(), 4) << second.Printed();
    for (const QString& line : second.lines)
        EXPECT_TRUE(line.startsWith(QStringLiteral("已存在\t"))) << line.toStdString();
    const QMap<QString, TreeEntry> after = Tree(out_);
    EXPECT_EQ(after.keys(), before.keys());
    EXPECT_TRUE(after == before) << "a file's bytes or time changed";
    ExpectExactly(out_, card_, CopiesOf(card_));
}

TEST_P(ExportOnDisk, AFileAlreadyAtTheTargetNameStaysAndTheCopyTakesTheNextName)
{
    // Another file under the photo's name, shorter than the photo: the photo and its RAW twin
    // go to the "-1" names together.
    const QString taken = QStringLiteral("2017-05-03/遂宁市/I-20170503142210.JPG");
    const QByteArray stranger("not the card's photo");
    ASSERT_TRUE(WriteBytes(out_ + u'/' + taken, stranger));
    QMap<QString, QString> expected = CopiesOf(card_);
    expected.remove(taken);
    expected.remove(QStringLiteral("2017-05-03/遂宁市/I-20170503142210.DNG"));
    expected.insert(QStringLiteral("2017-05-03/遂宁市/I-20170503142210-1.JPG"), QStringLiteral("DCIM/100MEDIA/DJI_0002.JPG"));
    expected.insert(QStringLiteral("2017-05-03/遂宁市/I-20170503142210-1.DNG"), QStringLiteral("DCIM/100MEDIA/DJI_0002.DNG"));

    const Program program(kSettings);
    const ExportRun run = program.Export(card_.path(), out_);
    EXPECT_EQ(run.exitCode, 0) << run.Printed();
    EXPECT_EQ(ReadAll(out_ + u'/' + taken), stranger) << "the file that was there keeps its bytes";
    EXPECT_EQ(run.lines.filter(QStringLiteral("DJI_0002.JPG\t")).filter(QStringLiteral("I-20170503142210-1.JPG")).size(), 1)
        << run.Printed();
    ExpectExactly(out_, card_, expected, {taken});
}

TEST_P(ExportOnDisk, PlaceNamesWithCharactersWindowsRefusesBecomeFoldersTheDiskTakes)
{
    // Folder names come from places; the default place here has every character that exFAT
    // (and Windows on NTFS) refuses in a name, spread over its three pieces. The quotes come in
    // a pair: the settings keep a quoted stretch whole, "/" included.
    const QString refused = QStringLiteral("\"*:<>?\\|");
    const Program program(QStringLiteral("[CityText]\nCityText=城市/区县/街道\n[MorenCity]\nMorenCity=遂\"宁\"*市/船:山<区>/灵?泉|街道\\\n"));
    const ExportRun run = program.Export(card_.path(), out_);
    EXPECT_EQ(run.exitCode, 0) << run.Printed();

    const QMap<QString, TreeEntry> tree = Tree(out_);
    for (const QString& path : tree.keys())
        for (const QChar c : refused)
            EXPECT_FALSE(path.contains(c)) << path.toStdString();
    // Every card file arrived, three folder levels down, byte for byte.
    for (auto it = card_.targets.begin(); it != card_.targets.end(); ++it) {
        const QByteArray source = ReadAll(card_.file(it.key()));
        const QString name = it.value().section(u'/', -1);
        QStringList found;
        for (auto entry = tree.begin(); entry != tree.end(); ++entry)
            if (entry.key().section(u'/', -1) == name && entry.key().count(u'/') == 3 && entry->bytes == source)
                found << entry.key();
        EXPECT_EQ(found.size(), 1) << it.key().toStdString() << " as " << name.toStdString() << " in "
                                   << QStringList(tree.keys()).join(u'\n').toStdString();
    }
}

// The hash list the export leaves on the disk is valid ASC MHL, and checking the copies against
// it finds them right, then finds the one byte changed on the disk.
TEST_P(ExportOnDisk, TheHashListIsValidAndTheCheckFindsAChangedByte)
{
    const Program program(kSettings);
    ASSERT_EQ(program.Export(card_.path(), out_).exitCode, 0);
    const QString schemas = QStringLiteral(ORVEK_SHARED_DIR "/ascmhl/xsd/");
    if (!QFileInfo::exists(schemas + "ASCMHL.xsd"))
        GTEST_SKIP() << "the ASC MHL schemas are not beside this checkout; give their folder with -DORVEK_SHARED_DIR=";
    const QStringList generations = QDir(out_ + "/ascmhl").entryList({"*.mhl"}, QDir::Files);
    ASSERT_EQ(generations.size(), 1);
    for (const auto& [schema, file] : {std::pair{QStringLiteral("ASCMHL.xsd"), generations[0]},
                                       std::pair{QStringLiteral("ASCMHLDirectory.xsd"), QStringLiteral("ascmhl_chain.xml")}}) {
        QProcess xmllint;
        xmllint.start("xmllint", {"--noout", "--schema", schemas + schema, out_ + "/ascmhl/" + file});
        if (!xmllint.waitForStarted())
            GTEST_SKIP() << "xmllint is not installed";
        xmllint.waitForFinished();
        EXPECT_EQ(xmllint.exitCode(), 0) << file.toStdString() << ": " << xmllint.readAllStandardError().toStdString();
    }

    const ExportRun right = program.Verify(out_);
    EXPECT_EQ(right.exitCode, 0) << right.Printed();
    EXPECT_EQ(right.lines.size(), card_.targets.size()) << right.Printed();
    for (const QString& line : right.lines)
        EXPECT_TRUE(line.startsWith(QStringLiteral("正确\t"))) << line.toStdString();

    const QString changed = out_ + QStringLiteral("/2017-05-03/遂宁市/V-20170503143000.MP4");
    QFile video(changed);
    ASSERT_TRUE(video.open(QIODevice::ReadWrite));
    video.seek(1234567);
    char byte = 0;
    video.getChar(&byte);
    video.seek(1234567);
    video.putChar(char(byte ^ 1));
    video.close();
    const ExportRun wrong = program.Verify(out_);
    EXPECT_EQ(wrong.exitCode, 1) << wrong.Printed();
    EXPECT_EQ(wrong.lines.filter(QRegularExpression(QStringLiteral("^不一致\t2017-05-03/遂宁市/V-20170503143000\\.MP4"))).size(), 1)
        << wrong.Printed();
}

// A disk that fills up ends the run (every later copy would fail too) and says so; what was
// copied before is whole and named, and nothing half-written stays.
TEST_P(ExportOnDisk, AFullDiskEndsTheRunAndLeavesNoPartialFile)
{
    DiskImage small(GetParam(), 8LL * 1024 * 1024);
    ASSERT_TRUE(small.ok()) << small.why().toStdString();
    TempFolder card;
    for (int i = 0; i < 5; ++i) {
        const QString video = card.file(QStringLiteral("DCIM/DJI_000%1.MP4").arg(i));
        ASSERT_TRUE(WriteBytes(video, NoiseBytes(2500000, quint32(10 + i))));
        QFile file(video);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite)
                    && file.setFileTime(QDateTime(QDate(2017, 5, 3), QTime(15, i, 0)), QFileDevice::FileModificationTime));
    }
    const Program program(kSettings);
    const ExportRun run = program.Export(card.dir.path(), small.root());
    EXPECT_EQ(run.exitCode, 1) << run.Printed();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("导出中止"))) << run.Printed();
    EXPECT_LT(run.lines.size(), 5) << "no file is tried after the disk is full\n" << run.Printed();
    EXPECT_EQ(run.lines.filter(QRegularExpression(QStringLiteral("^失败\t"))).size(), 1) << run.Printed();
    int whole = 0;
    const QMap<QString, TreeEntry> tree = Tree(small.root());
    for (auto it = tree.begin(); it != tree.end(); ++it) {
        EXPECT_FALSE(it.key().section(u'/', -1).startsWith(u'.')) << it.key().toStdString() << " was left behind";
        if (it.key().endsWith(QStringLiteral(".MP4"))) {
            EXPECT_EQ(it->bytes.size(), 2500000) << it.key().toStdString() << " is partial";
            ++whole;
        }
    }
    EXPECT_GE(whole, 1) << "what fitted arrived";
}

INSTANTIATE_TEST_SUITE_P(Disks, ExportOnDisk, testing::Values(DiskImage::Kind::Exfat, DiskImage::Kind::Ntfs),
                         [](const testing::TestParamInfo<DiskImage::Kind>& info) {
                             return std::string(DiskImage::Name(info.param));
                         });

} // namespace
