#include "catalogue/DropFilter.h"
#include "catalogue/FileTimes.h"

#include "TestFiles.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

TEST(DropFilter, KeepsPhotosVideosAndFoldersInTheirOrder)
{
    TempFolder folder;
    const QStringList names = {"a.JPG", "b.mp4", "c.Mov", "d.mp3", "e.jpeg", "f.txt", "g.jpg.bak"};
    for (const QString& name : names)
        WriteTextFile(folder.file(name), "x");
    QDir().mkpath(folder.file("sub.dir"));

    QStringList dropped;
    for (const QString& name : names)
        dropped << folder.file(name);
    dropped << folder.file("sub.dir") << folder.file("missing.jpg");

    EXPECT_EQ(KeepDroppedNames(dropped),
              QStringList({folder.file("a.JPG"), folder.file("b.mp4"), folder.file("c.Mov"), folder.file("e.jpeg"),
                           folder.file("sub.dir")}));
}

TEST(FileCreationTime, IsALocalTimeNearNowForANewFile)
{
    TempFolder folder;
    WriteTextFile(folder.file("new.jpg"), "x");
    const QDateTime created = FileCreationTime(folder.file("new.jpg"));
    ASSERT_TRUE(created.isValid());
    EXPECT_EQ(created.timeSpec(), Qt::LocalTime);
    EXPECT_LE(std::abs(created.secsTo(QDateTime::currentDateTime())), 60);
    EXPECT_FALSE(FileCreationTime(folder.file("missing.jpg")).isValid());
}

} // namespace
