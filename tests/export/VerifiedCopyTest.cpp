#include "export/ExportCopy.h"
#include "export/FileHash.h"

#include "JpegFixtures.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

QByteArray Pattern(qint64 bytes, char seed) { return PatternBytes(bytes, seed); }
QByteArray Read(const QString& path) { return ReadFileBytes(path); }

// Changes one byte of a file in place, as a failing disk or cable would.
void FlipByte(const QString& path, qint64 at)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(at);
    char byte = 0;
    file.getChar(&byte);
    file.seek(at);
    file.putChar(char(byte ^ 0x5a));
}

// A copy is named only when what the disk gives back equals the source: a copy changed between
// the write and the read-back is written again once from the source; changed again, it fails
// with "校验不一致" and leaves nothing behind.
TEST(VerifiedCopy, ACopyTheDiskChangesIsWrittenAgainOnceThenFailsWithoutAName)
{
    struct Case {
        const char* name;
        int changedAttempts; // read-backs that find the copy changed
        CopyOutcome outcome;
    } cases[] = {
        {"the disk is right", 0, CopyOutcome::Copied},
        {"changed once, right when written again", 1, CopyOutcome::Copied},
        {"changed every time", 2, CopyOutcome::Failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const QByteArray data = Pattern(3 * kCopyBlockBytes + 17, 9);
        ASSERT_TRUE(WriteBytes(folder.file("src.MOV"), data));
        QList<int> attempts;
        CopyOptions options;
        options.beforeReadBack = [&](const QString& hidden, int attempt) {
            attempts << attempt;
            EXPECT_EQ(hidden, HiddenCopyPath(folder.file("dst.MOV")));
            EXPECT_FALSE(QFileInfo::exists(folder.file("dst.MOV"))) << "not named before it is checked";
            if (attempt <= c.changedAttempts)
                FlipByte(hidden, data.size() / 2);
        };
        const CopyResult result = CopyWithProgress(folder.file("src.MOV"), folder.file("dst.MOV"), [](const QString&) {}, {}, options);
        EXPECT_EQ(result.outcome, c.outcome) << result.error.toStdString();
        EXPECT_EQ(attempts.size(), std::min(c.changedAttempts + 1, 2));
        if (c.outcome == CopyOutcome::Copied) {
            EXPECT_TRUE(result.verified);
            EXPECT_EQ(Read(folder.file("dst.MOV")), data);
            EXPECT_EQ(result.xxh64, Xxh64Of(data.constData(), size_t(data.size())));
            EXPECT_EQ(FilesBelow(folder.path()), QStringList({"dst.MOV", "src.MOV"}));
        } else {
            EXPECT_EQ(result.error, folder.file("dst.MOV") + "：校验不一致");
            EXPECT_EQ(FilesBelow(folder.path()), QStringList({"src.MOV"})) << "no name, no hidden copy";
        }
    }

    // Without verification nothing is read back, and the copy is named as soon as it is written.
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.file("src.JPG"), Pattern(5000, 1)));
    CopyOptions unverified;
    unverified.verify = false;
    unverified.beforeReadBack = [](const QString&, int) { ADD_FAILURE() << "read back without verification"; };
    const CopyResult result = CopyWithProgress(folder.file("src.JPG"), folder.file("dst.JPG"), [](const QString&) {}, {}, unverified);
    EXPECT_EQ(result.outcome, CopyOutcome::Copied);
    EXPECT_FALSE(result.verified);
    EXPECT_EQ(Read(folder.file("dst.JPG")), Pattern(5000, 1));
    // Named at once, still never over a file that is there.
    const CopyResult refused = CopyWithProgress(folder.file("src.JPG"), folder.file("dst.JPG"), [](const QString&) {}, {}, unverified);
    EXPECT_EQ(refused.outcome, CopyOutcome::Failed);
    EXPECT_EQ(refused.error, folder.file("dst.JPG") + "：已有同名文件");
    EXPECT_EQ(FilesBelow(folder.path()), QStringList({"dst.JPG", "src.JPG"}));
}

// The read-back reads the disk: just before it, none of the copy's pages is in memory, on a
// file system with a page cache (the test's temporary folder, unless it is a tmpfs, which keeps
// its files nowhere else).
TEST(VerifiedCopy, TheReadBackComesFromTheDiskNotFromTheCache)
{
    TempFolder folder;
    struct statfs info {};
    ASSERT_EQ(statfs(QFile::encodeName(folder.path()).constData(), &info), 0);
    if (info.f_type == TMPFS_MAGIC)
        GTEST_SKIP() << "the temporary folder is a tmpfs: its files live in memory";
    const QByteArray data = Pattern(8 * 1024 * 1024, 3);
    ASSERT_TRUE(WriteBytes(folder.file("src.MOV"), data));
    qint64 residentBefore = -2;
    CopyOptions options;
    options.beforeReadBack = [&](const QString& hidden, int) {
        const int fd = open(QFile::encodeName(hidden).constData(), O_RDONLY | O_CLOEXEC);
        residentBefore = ResidentPages(fd, data.size());
        close(fd);
    };
    ASSERT_EQ(CopyWithProgress(folder.file("src.MOV"), folder.file("dst.MOV"), [](const QString&) {}, {}, options).outcome,
              CopyOutcome::Copied);
    EXPECT_EQ(residentBefore, 0) << "pages of the copy were still in memory when it was read back";
}

// A batch of many small copies: one sync for all, every copy checked and named, in order.
TEST(VerifiedCopy, ABatchOfCopiesIsCheckedAndNamedInTheOrderWritten)
{
    TempFolder folder;
    ASSERT_TRUE(QDir().mkpath(folder.file("out")));
    CopyBatch batch;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(WriteBytes(folder.file(QStringLiteral("card/%1.JPG").arg(i)), Pattern(1000 + i, char(i))));
        ASSERT_EQ(batch.Write(folder.file(QStringLiteral("card/%1.JPG").arg(i)), folder.file(QStringLiteral("out/%1.JPG").arg(i)),
                              [](const QString&) {}, {})
                      .outcome,
                  CopyOutcome::Copied);
    }
    EXPECT_FALSE(batch.Due()) << "twenty small files wait for one sync";
    EXPECT_FALSE(QFileInfo::exists(folder.file("out/0.JPG"))) << "named only once checked";
    const QList<CopyBatch::Finished> finished = batch.Finish();
    ASSERT_EQ(finished.size(), 20);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(finished[i].target, folder.file(QStringLiteral("out/%1.JPG").arg(i)));
        EXPECT_TRUE(finished[i].result.verified);
        EXPECT_EQ(Read(finished[i].target), Pattern(1000 + i, char(i)));
    }
    EXPECT_TRUE(batch.Empty());
}

// What a killed run leaves is removed by the next one: the hidden copy, and the marked file
// with which it may have just claimed the name; a real file under that name stays.
TEST(VerifiedCopy, LeftoversOfAKilledRunGoAndEverythingElseStays)
{
    TempFolder folder;
    // The claim mark is the exact text the copy writes: made by a copy that cannot rename
    // without replacing is not possible to force here, so it is made by hand.
    const QByteArray mark = "ORVEK-FILE: name claimed for a copy under way\n";
    ASSERT_TRUE(WriteBytes(folder.file(".A.JPG.orvek-part"), "half a copy"));
    ASSERT_TRUE(WriteBytes(folder.file("A.JPG"), mark));
    ASSERT_TRUE(WriteBytes(folder.file(".B.JPG.orvek-part"), "half a copy"));
    ASSERT_TRUE(WriteBytes(folder.file("B.JPG"), "the user's own photo"));
    ASSERT_TRUE(WriteBytes(folder.file(".hidden-note"), "the user's"));
    ASSERT_TRUE(WriteBytes(folder.file("C.JPG"), "a copy"));
    RemoveLeftoverCopies(folder.path());
    EXPECT_EQ(FilesBelow(folder.path()), QStringList({".hidden-note", "B.JPG", "C.JPG"}));
    EXPECT_EQ(Read(folder.file("B.JPG")), QByteArray("the user's own photo"));
}

} // namespace
