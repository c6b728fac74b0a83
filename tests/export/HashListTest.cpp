// The hash list kept beside an export: the known answers of the published worked example, files
// the schemas accept, the numbering of generations and their chain, and reading them back.
#include "TestFiles.h"
#include "export/FileHash.h"
#include "export/HashList.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

const QString kExample = QStringLiteral(ORVEK_SHARED_DIR "/ascmhl/example");
const QString kSchemas = QStringLiteral(ORVEK_SHARED_DIR "/ascmhl/xsd");

// The reference is read where it lies; a machine without it cannot run these.
#define SKIP_WITHOUT_REFERENCE()                                                                            \
    if (!QFileInfo::exists(kSchemas + QStringLiteral("/ASCMHL.xsd")))                                       \
    GTEST_SKIP() << "the ASC MHL reference (ascmhl/xsd, ascmhl/example) is not beside this checkout; "    \
                    "give its folder with -DORVEK_SHARED_DIR="

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// xmllint's complaints about files checked against schema; empty when all are valid.
QString SchemaProblems(const QString& schema, const QStringList& files)
{
    QProcess lint;
    lint.start(QStringLiteral("xmllint"), QStringList{QStringLiteral("--noout"), QStringLiteral("--schema"), schema} + files);
    if (!lint.waitForFinished(30000))
        return QStringLiteral("xmllint did not finish");
    return lint.exitCode() == 0 ? QString() : QString::fromUtf8(lint.readAllStandardError());
}

QDateTime Utc(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toUTC();
}

// The example's three files as entries of a generation, with their recorded hashes.
QList<HashedFile> ExampleFiles()
{
    const QDateTime modified = Utc("2020-01-15T13:00:00Z");
    const QDateTime hashed = Utc("2020-01-16T09:15:00Z");
    return {
        {"Sidecar.txt", 58, modified, "3ab5a4166b9bde44", hashed, HashedFile::Action::Original, {}},
        {"Clips/A002C007_141024_R2EC.mov", 4, modified, "7680e5f98f4a80fd", hashed, HashedFile::Action::Original, {}},
        {"Clips/A002C006_141024_R2EC.mov", 5, modified, "0ea03b369a463d9d", hashed, HashedFile::Action::Original, {}},
    };
}

TEST(HashList, ReproducesTheWorkedExample)
{
    SKIP_WITHOUT_REFERENCE();
    // Each file's XXH64 from its bytes.
    const struct {
        const char* path;
        const char* xxh64;
    } files[] = {
        {"Clips/A002C006_141024_R2EC.mov", "0ea03b369a463d9d"},
        {"Clips/A002C007_141024_R2EC.mov", "7680e5f98f4a80fd"},
        {"Sidecar.txt", "3ab5a4166b9bde44"},
    };
    for (const auto& file : files) {
        const QByteArray bytes = ReadBytes(kExample + u'/' + QString::fromLatin1(file.path));
        ASSERT_FALSE(bytes.isEmpty()) << file.path;
        EXPECT_EQ(Xxh64Hex(Xxh64Of(bytes.constData(), size_t(bytes.size()))), file.xxh64) << file.path;
    }

    // Folder hashes: the clips folder from its two files, the root from the folder and the text.
    const FolderHashes clips = HashFolder({{"A002C007_141024_R2EC.mov", 0x7680e5f98f4a80fdULL, 0x7680e5f98f4a80fdULL},
                                           {"A002C006_141024_R2EC.mov", 0x0ea03b369a463d9dULL, 0x0ea03b369a463d9dULL}});
    const FolderHashes root = HashFolder(
        {{"Sidecar.txt", 0x3ab5a4166b9bde44ULL, 0x3ab5a4166b9bde44ULL}, {"Clips", clips.content, clips.structure}});
    const struct {
        const char* what;
        uint64_t value;
        const char* expected;
    } folders[] = {
        {"Clips content", clips.content, "4c226b42e27d7af3"},
        {"Clips structure", clips.structure, "906faa843d591a9f"},
        {"root content", root.content, "8d02114c32e28cbe"},
        {"root structure", root.structure, "f557f8ca8e5a88ef"},
    };
    for (const auto& folder : folders)
        EXPECT_EQ(Xxh64Hex(folder.value), folder.expected) << folder.what;
    // A renamed file keeps the content hash and changes the structure hash.
    const FolderHashes renamed = HashFolder({{"A002C007_141024_R2EC.mov", 0x7680e5f98f4a80fdULL, 0x7680e5f98f4a80fdULL},
                                             {"renamed.mov", 0x0ea03b369a463d9dULL, 0x0ea03b369a463d9dULL}});
    EXPECT_EQ(renamed.content, clips.content);
    EXPECT_NE(renamed.structure, clips.structure);

    // The chain's c4 id of each generation file.
    const struct {
        const char* generation;
        const char* c4;
    } chain[] = {
        {"0001_A002R2EC_2020-01-16_091500Z.mhl",
         "c43qQABrjeiU3kteaNFtgwufQRLKxgMJEZfNSj6LcZ8fKwB568U8As9eScRsnb64NfqiAYzjNUXs81tAxPB77PUThb"},
        {"0002_A002R2EC_2020-01-17_143000Z.mhl",
         "c45kfAU9bNHnT32pMzSdio6Qb7us3xkd65ff8uAvJcgdkpoQZUKoPFckwtVHozxgftZj4uUoXrRiAiwSqNGAxLUAKM"},
    };
    for (const auto& generation : chain) {
        const QByteArray bytes = ReadBytes(kExample + QStringLiteral("/ascmhl/") + QString::fromLatin1(generation.generation));
        ASSERT_FALSE(bytes.isEmpty()) << generation.generation;
        EXPECT_EQ(C4Id(bytes), generation.c4) << generation.generation;
    }
    // A hash whose number is small still has 90 characters, the padding being base58's zero.
    EXPECT_EQ(C4Id({}).size(), 90);
    EXPECT_TRUE(C4Id({}).startsWith(u"c4"));
}

TEST(HashList, ReadsTheWorkedExample)
{
    SKIP_WITHOUT_REFERENCE();
    QString error;
    const HashHistory history = HashHistory::Load(kExample, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(history.generations(), 2);
    const QList<HashedFile> files = history.files();
    ASSERT_EQ(files.size(), 3);
    EXPECT_EQ(files[0].path, "Clips/A002C006_141024_R2EC.mov");
    EXPECT_EQ(files[0].size, 5);
    EXPECT_EQ(files[0].xxh64, "0ea03b369a463d9d");
    EXPECT_EQ(files[0].modified, Utc("2020-01-15T13:00:00Z"));
    // The second generation's entries are the latest.
    EXPECT_EQ(files[0].action, HashedFile::Action::Verified);
    EXPECT_EQ(files[0].hashDate, Utc("2020-01-17T14:30:00Z"));
    EXPECT_EQ(files[2].path, "Sidecar.txt");
    EXPECT_FALSE(history.Find(QStringLiteral("Clips")));
    EXPECT_TRUE(HashHistory::Load(kExample + QStringLiteral("/Clips")).files().isEmpty()); // no ascmhl/: no history
}

// Writing the example's files again gives the example's folder and root hashes, and both our
// generations and the chain pass the published schemas.
TEST(HashList, WrittenGenerationsHaveTheExamplesHashesAndPassTheSchemas)
{
    SKIP_WITHOUT_REFERENCE();
    TempFolder temp;
    const QString root = temp.file(QStringLiteral("卡 A002"));
    ASSERT_TRUE(QDir().mkpath(root + QStringLiteral("/Clips")));
    GenerationInfo info;
    info.start = Utc("2024-05-06T07:08:09Z");
    info.hostName = QStringLiteral("pilot-laptop");
    QList<HashedFile> files = ExampleFiles();
    files[0].source = QStringLiteral("DCIM/100MEDIA/DJI_0001.JPG");
    QString error;
    const std::optional<QString> first = WriteGeneration(root, info, files, &error);
    ASSERT_TRUE(first) << error.toStdString();
    EXPECT_EQ(*first, root + QStringLiteral("/ascmhl/0001_卡 A002_2024-05-06_070809Z.mhl"));

    const QString text = ReadTextFile(*first);
    for (const char* expected : {
             "<hashlist xmlns=\"urn:ASC:MHL:v2.0\" version=\"2.0\">",
             "<hostname>pilot-laptop</hostname>",
             "<tool version=\"1.0.0.1\">ORVEK-FILE</tool>",
             "<process>transfer</process>",
             "<pattern>ascmhl/</pattern>",
             ">8d02114c32e28cbe</xxh64>",
             ">f557f8ca8e5a88ef</xxh64>",
             ">4c226b42e27d7af3</xxh64>",
             ">906faa843d591a9f</xxh64>",
             "<path size=\"58\" lastmodificationdate=\"2020-01-15T13:00:00+00:00\">Sidecar.txt</path>",
             "<xxh64 action=\"original\" hashdate=\"2020-01-16T09:15:00+00:00\">3ab5a4166b9bde44</xxh64>",
             "<source xmlns=\"urn:orvek-file:export:v1\">DCIM/100MEDIA/DJI_0001.JPG</source>",
         })
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n" << text.toStdString();
    // Like the example: a folder's files, then the folder's hash, then what follows the folder.
    const qsizetype file = text.indexOf(u">Clips/A002C007_141024_R2EC.mov<");
    const qsizetype folder = text.indexOf(u">Clips</path>");
    const qsizetype sidecar = text.indexOf(u">Sidecar.txt<");
    EXPECT_TRUE(0 <= file && file < folder && folder < sidecar) << text.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("<creationdate>\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\+00:00<"))
                    .match(text)
                    .hasMatch());

    // The second generation: numbered after the first, and the chain lists both with their c4.
    info.process = QStringLiteral("in-place");
    info.start = Utc("2024-05-07T00:00:00Z");
    files = ExampleFiles();
    files[0].action = HashedFile::Action::Known; // no action attribute, its own hash date
    files[1].action = HashedFile::Action::Verified;
    files[2].action = HashedFile::Action::Failed;
    const std::optional<QString> second = WriteGeneration(root, info, files, &error);
    ASSERT_TRUE(second) << error.toStdString();
    EXPECT_EQ(QFileInfo(*second).fileName(), "0002_卡 A002_2024-05-07_000000Z.mhl");
    const QString secondText = ReadTextFile(*second);
    EXPECT_TRUE(secondText.contains(u"<xxh64 hashdate=\"2020-01-16T09:15:00+00:00\">3ab5a4166b9bde44</xxh64>"))
        << secondText.toStdString();
    EXPECT_TRUE(secondText.contains(u"action=\"failed\""));

    const QString chainPath = root + QStringLiteral("/ascmhl/ascmhl_chain.xml");
    const QString chain = ReadTextFile(chainPath);
    for (const QString& expected : {
             QStringLiteral("<ascmhldirectory xmlns=\"urn:ASC:MHL:DIRECTORY:v2.0\">"),
             QStringLiteral("<hashlist sequencenr=\"1\">\n    <path>0001_卡 A002_2024-05-06_070809Z.mhl</path>\n    <c4>%1</c4>")
                 .arg(C4Id(ReadBytes(*first))),
             QStringLiteral("<hashlist sequencenr=\"2\">\n    <path>0002_卡 A002_2024-05-07_000000Z.mhl</path>\n    <c4>%1</c4>")
                 .arg(C4Id(ReadBytes(*second))),
         })
        EXPECT_TRUE(chain.contains(expected)) << expected.toStdString() << "\n" << chain.toStdString();

    if (QStandardPaths::findExecutable(QStringLiteral("xmllint")).isEmpty())
        GTEST_SKIP() << "xmllint is not installed: the files were not checked against the schemas";
    EXPECT_EQ(SchemaProblems(kSchemas + QStringLiteral("/ASCMHL.xsd"), {*first, *second}), QString());
    EXPECT_EQ(SchemaProblems(kSchemas + QStringLiteral("/ASCMHLDirectory.xsd"), {chainPath}), QString());
}

// What a later run reads back: the latest entry of each path, failed ones included, the hash to
// judge a file by, and the card files the copies came from.
TEST(HashList, LoadGivesTheLatestEntryOfEveryPath)
{
    TempFolder temp;
    const QString root = temp.file(QStringLiteral("out"));
    const QDateTime modified = Utc("2024-01-02T03:04:05Z");
    const QDateTime firstDay = Utc("2024-02-01T10:00:00Z");
    const QDateTime secondDay = Utc("2024-02-02T10:00:00Z");
    using Action = HashedFile::Action;
    const QList<HashedFile> first = {
        {"2024/A.JPG", 100, modified, "00000000000000aa", firstDay, Action::Original, "DCIM/100MEDIA/DJI_0001.JPG"},
        {"2024/B.JPG", 200, modified, "00000000000000bb", firstDay, Action::Original, "DCIM/100MEDIA/DJI_0002.JPG"},
        {"2024/C.MP4", 300, modified, "00000000000000cc", firstDay, Action::Original, "DCIM/100MEDIA/DJI_0003.MP4"},
        {"2024/A-1.JPG", 999, modified, "00000000000000dd", firstDay, Action::Original, "DCIM/100MEDIA/DJI_0001.JPG"},
    };
    const QList<HashedFile> second = {
        {"2024/A.JPG", 100, modified, "00000000000000aa", secondDay, Action::Verified, {}},
        {"2024/B.JPG", 200, modified, "ffffffffffffffff", secondDay, Action::Failed, {}},
        {"2024/C.MP4", 300, modified, "00000000000000cc", firstDay, Action::Known, "DCIM/100MEDIA/DJI_0003.MP4"},
    };
    QString error;
    ASSERT_TRUE(WriteGeneration(root, {}, first, &error)) << error.toStdString();
    ASSERT_TRUE(WriteGeneration(root, {}, second, &error)) << error.toStdString();

    const HashHistory history = HashHistory::Load(root, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(history.generations(), 2);
    const struct {
        const char* path;
        Action latest;
        const char* latestHash;
        const char* expectedHash;
        QDateTime hashDate;
    } cases[] = {
        {"2024/A.JPG", Action::Verified, "00000000000000aa", "00000000000000aa", secondDay},
        {"2024/B.JPG", Action::Failed, "ffffffffffffffff", "00000000000000bb", secondDay},
        {"2024/C.MP4", Action::Known, "00000000000000cc", "00000000000000cc", firstDay},
        {"2024/A-1.JPG", Action::Original, "00000000000000dd", "00000000000000dd", firstDay},
    };
    for (const auto& c : cases) {
        const std::optional<HashedFile> latest = history.Find(QString::fromLatin1(c.path));
        ASSERT_TRUE(latest) << c.path;
        EXPECT_EQ(latest->action, c.latest) << c.path;
        EXPECT_EQ(latest->xxh64, c.latestHash) << c.path;
        EXPECT_EQ(latest->hashDate, c.hashDate) << c.path;
        EXPECT_EQ(latest->modified, modified) << c.path;
        EXPECT_EQ(history.Expected(QString::fromLatin1(c.path))->xxh64, c.expectedHash) << c.path;
    }
    // Later checks keep the source the copy was recorded with.
    EXPECT_EQ(history.Find(QStringLiteral("2024/B.JPG"))->source, "DCIM/100MEDIA/DJI_0002.JPG");
    const QList<HashedFile> copies = history.FromSource(QStringLiteral("DCIM/100MEDIA/DJI_0001.JPG"), 100);
    ASSERT_EQ(copies.size(), 1);
    EXPECT_EQ(copies[0].path, "2024/A.JPG");
    EXPECT_EQ(history.FromSource(QStringLiteral("DCIM/100MEDIA/DJI_0001.JPG"), 999).size(), 1);
    EXPECT_EQ(history.FromSource(QStringLiteral("DCIM/100MEDIA/DJI_0002.JPG"), 200).front().action, Action::Failed);
    EXPECT_TRUE(history.FromSource(QStringLiteral("DCIM/100MEDIA/DJI_0009.JPG"), 100).isEmpty());
    EXPECT_EQ(history.files().size(), 4);
}

// Records that cannot be read or written: each is said with its path, nothing half-written is
// left, and what can be read is kept.
TEST(HashList, UnreadableAndUnwritableRecords)
{
    TempFolder temp;
    const HashedFile file{"a.jpg", 1, Utc("2024-01-01T00:00:00Z"), "0123456789abcdef", Utc("2024-01-01T00:00:00Z"),
                          HashedFile::Action::Original, {}};
    QString error;

    // ascmhl is a file, not a folder.
    const QString blocked = temp.file(QStringLiteral("blocked"));
    ASSERT_TRUE(QDir().mkpath(blocked));
    WriteTextFile(blocked + QStringLiteral("/ascmhl"), QStringLiteral("x"));
    EXPECT_FALSE(WriteGeneration(blocked, {}, {file}, &error));
    EXPECT_TRUE(error.contains(u"无法写入校验记录") && error.contains(blocked)) << error.toStdString();

    // A hash that is no hash is not written.
    HashedFile bad = file;
    bad.xxh64 = QStringLiteral("xyz");
    const QString fresh = temp.file(QStringLiteral("fresh"));
    EXPECT_FALSE(WriteGeneration(fresh, {}, {bad}, &error));
    EXPECT_FALSE(QFileInfo::exists(fresh + QStringLiteral("/ascmhl/ascmhl_chain.xml")));

    // Without a chain the generation files are read in number order; a broken one is an error
    // and the others are still read.
    const QString root = temp.file(QStringLiteral("root"));
    ASSERT_TRUE(WriteGeneration(root, {}, {file}, &error));
    HashedFile later = file;
    later.xxh64 = QStringLiteral("fedcba9876543210");
    ASSERT_TRUE(WriteGeneration(root, {}, {later}, &error));
    ASSERT_TRUE(QFile::remove(root + QStringLiteral("/ascmhl/ascmhl_chain.xml")));
    HashHistory history = HashHistory::Load(root, &error);
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(history.Find(QStringLiteral("a.jpg"))->xxh64, "fedcba9876543210");
    const QString broken = root + QStringLiteral("/ascmhl/0003_root_2030-01-01_000000Z.mhl");
    WriteTextFile(broken, QStringLiteral("<hashlist><hashes><hash>"));
    history = HashHistory::Load(root, &error);
    EXPECT_TRUE(error.contains(u"无法读取校验记录") && error.contains(broken)) << error.toStdString();
    EXPECT_EQ(history.generations(), 2);
    EXPECT_EQ(history.Find(QStringLiteral("a.jpg"))->xxh64, "fedcba9876543210");

    // Writing without a chain starts one that lists the generations already there, and numbers
    // the new one after the highest.
    ASSERT_TRUE(QFile::remove(broken));
    const std::optional<QString> third = WriteGeneration(root, {}, {file}, &error);
    ASSERT_TRUE(third) << error.toStdString();
    EXPECT_TRUE(QFileInfo(*third).fileName().startsWith(u"0003_root_"));
    const QString chain = ReadTextFile(root + QStringLiteral("/ascmhl/ascmhl_chain.xml"));
    EXPECT_EQ(chain.count(u"<hashlist sequencenr="), 3) << chain.toStdString();
    EXPECT_EQ(HashHistory::Load(root).generations(), 3);

    // A chain that cannot be read is left as it is, and no generation is added.
    WriteTextFile(root + QStringLiteral("/ascmhl/ascmhl_chain.xml"), QStringLiteral("<ascmhldirectory><hashlist>"));
    EXPECT_FALSE(WriteGeneration(root, {}, {file}, &error));
    EXPECT_TRUE(error.contains(u"ascmhl_chain.xml")) << error.toStdString();
    EXPECT_EQ(ReadTextFile(root + QStringLiteral("/ascmhl/ascmhl_chain.xml")), "<ascmhldirectory><hashlist>");
    EXPECT_EQ(QDir(root + QStringLiteral("/ascmhl")).entryList({QStringLiteral("*.mhl")}).size(), 3);
}

} // namespace
