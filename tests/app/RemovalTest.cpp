// Removing entries through the list's pop-up menu commands of the real main window.

#include "app/ProgramWindows.h"

#include "catalogue/CatalogueListView.h"
#include "catalogue/MainWindow.h"
#include "dialogs/Dialogs.h"
#include "preview/ImagePreviewWindow.h"

#include "JpegFixtures.h"
#include "MessageBoxes.h"
#include "TestFiles.h"
#include "WindowParts.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class RemovalTest : public testing::Test {
protected:
    void SetUp() override
    {
        boxes.yes = [this](const QString& text) { return answers.value(text, false); };
        windows = std::make_unique<ProgramWindows>(folder.path());
        windows->show();
        ASSERT_TRUE(WriteBytes(card() + "/100/P0001.JPG", PhotoBytes(std::nullopt)));
        ASSERT_TRUE(WriteBytes(card() + "/100/P0002.JPG", PhotoBytes(std::nullopt) + "x"));
        ASSERT_TRUE(WriteBytes(card() + "/101/V0001.MOV", "video"));
        ASSERT_TRUE(WriteBytes(card() + "/101/V0001.SRT", "log"));
        ASSERT_TRUE(WriteBytes(card() + "/102/V0002.MOV", "video 2"));
        ASSERT_TRUE(WriteBytes(card() + "/102/.hidden", "kept"));
        Scan();
    }
    void TearDown() override
    {
        windows.reset();
    }
    TForm1& Main() { return *windows->Form1(); }
    QAction& Action(const char* name) { return Child<QAction>(Main(), name); }
    CatalogueListView& List() { return Child<CatalogueListView>(Main(), "goodslistview"); }
    CatalogueListModel& Rows() { return Main().catalogue().rows(); }
    QString card() const { return folder.path() + "card"; }
    void Scan()
    {
        Main().SetFilePath(card());
        Main().FileFindClick();
        Main().WaitForScan();
        Child<QTimer>(Main(), "GetLocationTimer").stop();
    }
    void Select(const QStringList& names)
    {
        auto* selection = List().selectionModel();
        selection->clearSelection();
        for (int row = 0; row < Rows().rowCount(); ++row)
            if (names.contains(Rows().text(row, kColName)))
                selection->select(Rows().index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QStringList Names()
    {
        QStringList names;
        for (int row = 0; row < Rows().rowCount(); ++row)
            names << Rows().text(row, kColName);
        names.sort();
        return names;
    }

    TempFolder folder;
    MessageBoxRecorder boxes;
    QHash<QString, bool> answers;
    std::unique_ptr<ProgramWindows> windows;
};

TEST_F(RemovalTest, RemovingFromTheListKeepsTheFilesAndTheNextScanBringsThemBack)
{
    Select({"P0001.JPG", "V0001.MOV"});
    Action("MenuItem1").trigger();
    EXPECT_EQ(Names(), QStringList({"P0002.JPG", "V0002.MOV"}));
    EXPECT_TRUE(boxes.texts.isEmpty());
    EXPECT_TRUE(QFile::exists(card() + "/100/P0001.JPG"));
    Scan();
    EXPECT_EQ(Names(), QStringList({"P0001.JPG", "P0002.JPG", "V0001.MOV", "V0002.MOV"}));

    Select({});
    Action("MenuItem1").trigger(); // nothing selected: nothing happens
    EXPECT_EQ(Names().size(), 4);
}

TEST_F(RemovalTest, DeletingFilesTakesTheFlightLogAndAsksAboutAnEmptiedFolder)
{
    answers["确定删除?"] = false;
    Select({"V0001.MOV"});
    Action("N5").trigger();
    EXPECT_EQ(boxes.texts, QStringList({"确定删除?"}));
    EXPECT_TRUE(QFile::exists(card() + "/101/V0001.MOV")) << "No changes nothing";
    EXPECT_EQ(Names().size(), 4);

    boxes.Clear();
    answers["确定删除?"] = true;
    answers["该组目录下没有任何文件了是否删除该目录?"] = true;
    Action("N5").trigger();
    EXPECT_EQ(boxes.texts, QStringList({"确定删除?", "该组目录下没有任何文件了是否删除该目录?"}));
    EXPECT_FALSE(QFile::exists(card() + "/101/V0001.MOV"));
    EXPECT_FALSE(QFile::exists(card() + "/101/V0001.SRT"));
    EXPECT_FALSE(QDir(card() + "/101").exists()) << "the emptied folder was removed on Yes";
    EXPECT_TRUE(QFile::exists(card() + "/100/P0001.JPG")) << "other files stay";

    // Two photos of one folder: the question comes once, after the second; No keeps the folder.
    boxes.Clear();
    answers["该组目录下没有任何文件了是否删除该目录?"] = false;
    Select({"P0001.JPG", "P0002.JPG"});
    Action("N5").trigger();
    EXPECT_EQ(boxes.texts, QStringList({"确定删除?", "该组目录下没有任何文件了是否删除该目录?"}));
    EXPECT_TRUE(QDir(card() + "/100").exists());

    // A folder that still holds a hidden file is not offered.
    boxes.Clear();
    Select({"V0002.MOV"});
    Action("N5").trigger();
    EXPECT_EQ(boxes.texts, QStringList({"确定删除?"}));
    EXPECT_TRUE(QFile::exists(card() + "/102/.hidden"));
    EXPECT_TRUE(Names().isEmpty());
    Scan();
    EXPECT_TRUE(Names().isEmpty()) << "deleted files do not come back";
}

TEST_F(RemovalTest, APhotosRawTwinGoesWithItAndAJpegIsListedAsAPhoto)
{
    ASSERT_TRUE(WriteBytes(card() + "/100/P0001.dng", "raw"));
    ASSERT_TRUE(WriteBytes(card() + "/103/PHONE.jpeg", PhotoBytes(std::nullopt)));
    Scan();
    ASSERT_TRUE(Names().contains("PHONE.jpeg"));
    for (int row = 0; row < Rows().rowCount(); ++row) {
        if (Rows().text(row, kColName) == "PHONE.jpeg") {
            EXPECT_EQ(Rows().text(row, kColType), "图片");
        }
    }
    EXPECT_FALSE(Names().contains("P0001.dng")) << "a RAW file is no row of its own";

    answers["确定删除?"] = true;
    Select({"P0001.JPG"});
    Action("N5").trigger();
    EXPECT_FALSE(QFile::exists(card() + "/100/P0001.JPG"));
    EXPECT_FALSE(QFile::exists(card() + "/100/P0001.dng"));
    EXPECT_TRUE(QFile::exists(card() + "/100/P0002.JPG"));
}

TEST_F(RemovalTest, EmptyingTheListReleasesEverythingAndAScanListsItAgain)
{
    Action("MenuItem2").trigger();
    EXPECT_TRUE(Names().isEmpty());
    EXPECT_TRUE(boxes.texts.isEmpty());
    Scan();
    EXPECT_EQ(Names().size(), 4);
}

TEST_F(RemovalTest, TheStatusBarCountFollowsEveryRemoval)
{
    const auto status = [&] {
        QApplication::processEvents(); // the count follows once a run of removals is done
        return Child<QLabel>(Main(), "StatusText").text();
    };
    const auto summary = [](int listed) { return QStringLiteral("共找到 4 个文件，新增 4 个，列表共 %1 个").arg(listed); };
    ASSERT_EQ(status(), summary(4));

    Select({"P0001.JPG"});
    Action("MenuItem1").trigger(); // 从列表删除
    EXPECT_EQ(status(), summary(3));

    answers["确定删除?"] = true;
    Select({"V0001.MOV"});
    Action("N5").trigger(); // 从文件删除
    EXPECT_EQ(status(), summary(2));

    // Deleted in the photo window; the status bar showed something else meanwhile.
    Main().ShowBalloon(QStringLiteral("有新版本"));
    answers[QStringLiteral("确定删除 P0002.JPG?")] = true;
    for (int row = 0; row < Rows().rowCount(); ++row)
        if (Rows().text(row, kColName) == "P0002.JPG")
            windows->Form3()->InitFile(row);
    Child<QPushButton>(*windows->Form3(), "Button3").click();
    EXPECT_EQ(Names(), QStringList({"V0002.MOV"}));
    EXPECT_EQ(status(), QStringLiteral("列表共 1 个"));

    Action("MenuItem2").trigger(); // 清空所有列表
    EXPECT_EQ(status(), QStringLiteral("列表共 0 个"));
}

TEST(IsFolderEmpty, CountsHiddenEntries)
{
    TempFolder folder;
    EXPECT_TRUE(TForm1::IsFolderEmpty(folder.dir.path()));
    ASSERT_TRUE(WriteBytes(folder.file(".hidden"), "x"));
    EXPECT_FALSE(TForm1::IsFolderEmpty(folder.dir.path()));
}

} // namespace
