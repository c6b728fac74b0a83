// The catalogue list through the real main window: sorting, the place editor, the arrow keys
// and the row navigation the preview windows use.

#include "app/ProgramWindows.h"

#include "catalogue/CatalogueListView.h"
#include "catalogue/MainWindow.h"
#include "dialogs/Dialogs.h"
#include "preview/ImagePreviewWindow.h"
#include "preview/VideoPreviewWindow.h"

#include "JpegFixtures.h"
#include "EventWait.h"
#include "MessageBoxes.h"
#include "TestFiles.h"
#include "WindowParts.h"
#include "preview/ImageView.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

class CatalogueListTest : public testing::Test {
protected:
    void SetUp() override { Start(); }
    // The program starts (again) with its settings and cache in folder.
    void Start()
    {
        windows.reset();
        windows = std::make_unique<ProgramWindows>(folder.path());
        windows->show();
        Main().resize(1000, 600);
        QApplication::processEvents();
        Main().SetColumnWidths();
    }
    void TearDown() override
    {
        windows.reset();
    }

    TForm1& Main() { return *windows->Form1(); }
    CatalogueListView& List() { return Child<CatalogueListView>(Main(), "goodslistview"); }
    CatalogueListModel& Rows() { return Main().catalogue().rows(); }
    QLineEdit& Editor() { return Child<QLineEdit>(Main(), "edtListview"); } // the place editor
    QTimer& LocationTimer() { return Child<QTimer>(Main(), "GetLocationTimer"); }
    ImageView& PhotoView() { return Child<ImageView>(*windows->Form3(), "Yulanimg"); }
    MessageBoxRecorder boxes;
    QString card() const { return folder.path() + "card/"; }

    // Rows with the given names (a ".JPG" name is a photo) and sizes in MiB as the list shows
    // them ("1,177.38"), in this order.
    void AddRows(const QStringList& names, const QStringList& sizes = {})
    {
        for (qsizetype i = 0; i < names.size(); ++i) {
            NewEntry entry;
            entry.path = card() + names[i];
            // Every row has a file; a real photo, so the preview can show it.
            WriteBytes(entry.path, PhotoBytes(std::nullopt));
            entry.kind = names[i].endsWith(".JPG") ? MediaKind::Photo : MediaKind::Video;
            if (i < sizes.size())
                entry.bytes = std::llround(QString(sizes[i]).remove(u',').toDouble() * 1048576);
            entry.shotTime = WallClock(QDate(2017, 5, 3), QTime(14, 22, int(i)));
            Main().catalogue().AddEntry(entry, card());
        }
        Main().catalogue().Flush();
    }

    QStringList Column(int column)
    {
        QStringList texts;
        for (int row = 0; row < Rows().rowCount(); ++row)
            texts << Rows().text(row, column);
        return texts;
    }

    QList<int> SelectedRows()
    {
        QList<int> rows;
        for (const QModelIndex& index : List().selectionModel()->selectedRows())
            rows << index.row();
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    void SelectOnly(int row)
    {
        List().selectionModel()->clearSelection();
        Main().SetItemIndex(row);
    }

    // The middle of a cell, in the list's viewport coordinates.
    QPoint CellCentre(int row, int column)
    {
        return List().visualRect(Rows().index(row, column)).center();
    }

    void DoubleClick(int row, int column)
    {
        QTest::mouseDClick(List().viewport(), Qt::LeftButton, {}, CellCentre(row, column));
    }

    void Key(QWidget* target, Qt::Key key) { QTest::keyClick(target, key); }

    TempFolder folder;
    std::unique_ptr<ProgramWindows> windows;
};

TEST_F(CatalogueListTest, HeaderClicksSortAndEveryClickFlipsTheDirection)
{
    AddRows({"B.JPG", "A.MOV", "C.JPG"}, {"2.00", ".50", "1,177.38"});
    QHeaderView* header = List().header();
    const auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    EXPECT_EQ(header->sortIndicatorSection(), -1) << "no indicator before the first click";
    clickHeader(kColSize);
    EXPECT_EQ(Column(kColSize), QStringList({".50", "1,177.38", "2.00"}));
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), kColSize);
    // Qt draws "descending" as the upward arrow that users read as "A to Z".
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder) << "an upward arrow for an ascending sort";
    clickHeader(kColName); // another header: the direction still flips
    EXPECT_EQ(Column(kColName), QStringList({"C.JPG", "B.JPG", "A.MOV"}));
    EXPECT_EQ(header->sortIndicatorSection(), kColName);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder) << "a downward arrow for Z to A";
    clickHeader(kColType);
    EXPECT_EQ(Column(kColType), QStringList({"图片", "图片", "视频"}));
    EXPECT_EQ(Main().SortCol, kColType);
    EXPECT_EQ(Main().SortWay, 1);
    EXPECT_EQ(Main().getSourpath(2), card() + "A.MOV") << "rows keep their records when sorted";
}

TEST_F(CatalogueListTest, DoubleClickOpensTheEditorOnThePlaceAndPreviewsElsewhere)
{
    AddRows({"P.JPG", "V.MOV"});
    DoubleClick(0, kColName); // nothing selected: nothing happens
    EXPECT_FALSE(windows->Form3()->isVisible());
    SelectOnly(0);
    DoubleClick(0, kColName);
    EXPECT_TRUE(windows->Form3()->isVisible());
    EXPECT_EQ(windows->Form3()->itemindex, 0);
    EXPECT_FALSE(windows->Form4()->isVisible());

    SelectOnly(1);
    DoubleClick(1, kColShotTime);
    EXPECT_TRUE(windows->Form4()->isVisible());
    EXPECT_TRUE(WaitFor([&] { return windows->Form4()->OpenSettled(); })); // shown once the player has tried it
    EXPECT_EQ(windows->Form4()->itemindex, 1);

    SelectOnly(1);
    DoubleClick(1, kColLocation);
    QLineEdit* editor = &Editor();
    ASSERT_TRUE(editor->isVisible());
    EXPECT_EQ(Main().EditColumn, kColLocation);
    EXPECT_EQ(editor->text(), QStringLiteral("..."));
    const QRect cell = List().visualRect(Rows().index(1, kColLocation));
    EXPECT_EQ(editor->geometry().left(), cell.left());
    EXPECT_EQ(editor->geometry().top(), cell.top());
    EXPECT_EQ(editor->width(), cell.width());
}

TEST_F(CatalogueListTest, TheEditorTrimsGivesAnEmptiedCellBackToTheLookupAndFollowsTheTyping)
{
    AddRows({"P.JPG"});
    const struct {
        const char* typed;
        const char* kept;
    } cases[] = {{"  北京市 朝阳区  ", "北京市 朝阳区"},
                 {"", "..."}, // pending: looked up again
                 {"   ", "..."},
                 {"成都市/武侯区/玉林街道", "成都市 武侯区 玉林街道"}, // slashes are the separator
                 {" 成都市 / 武侯区／玉林街道/ ", "成都市 武侯区 玉林街道"}};
    for (const auto& c : cases) {
        SelectOnly(0);
        DoubleClick(0, kColLocation);
        ASSERT_TRUE(Editor().isVisible());
        Editor().setText(QString::fromUtf8(c.typed));
        EXPECT_EQ(Rows().text(0, kColLocation), QString::fromUtf8(c.typed)) << "the cell follows the typing";
        List().setFocus(); // the editor loses the focus
        EXPECT_FALSE(Editor().isVisible());
        EXPECT_EQ(Rows().text(0, kColLocation), QString::fromUtf8(c.kept));
    }
}

TEST_F(CatalogueListTest, APlaceTypedInTheEditorIsTheFilesAfterARestartUntilItIsEmptied)
{
    const auto type = [&](int row, const QString& text) {
        QLineEdit* editor = &Editor(); // the window of this start
        SelectOnly(row);
        DoubleClick(row, kColLocation);
        ASSERT_TRUE(editor->isVisible());
        if (editor->text() != text)
            editor->setText(text);
        Key(editor, Qt::Key_Return);
    };
    AddRows({"A.JPG", "B.JPG", "C.JPG"});
    Main().catalogue().SetPlace(1, "遂宁市 船山区 灵泉街道", PlaceState::Web); // as the lookup wrote it
    type(0, "成都市/武侯区");
    type(1, "遂宁市 船山区 灵泉街道"); // opened and closed unchanged: still the lookup's
    type(2, "重庆市 渝中区");
    EXPECT_EQ(Column(kColLocation), QStringList({"成都市 武侯区", "遂宁市 船山区 灵泉街道", "重庆市 渝中区"}));

    Start();
    AddRows({"A.JPG", "B.JPG", "C.JPG"}); // the same card again
    EXPECT_EQ(Column(kColLocation), QStringList({"成都市 武侯区", "...", "重庆市 渝中区"}));
    LocationTimer().stop(); // the pass of the listing is over
    type(2, "");
    EXPECT_EQ(Column(kColLocation), QStringList({"成都市 武侯区", "...", "..."}));
    EXPECT_TRUE(WaitFor([&] { return LocationTimer().isActive(); })) << "the pass is started again for C";

    Start();
    AddRows({"A.JPG", "B.JPG", "C.JPG"});
    EXPECT_EQ(Column(kColLocation), QStringList({"成都市 武侯区", "...", "..."})) << "C's place is looked up again";
}

TEST_F(CatalogueListTest, EnterCommitsAndEscapeGivesTheCellBackItsText)
{
    AddRows({"A.JPG"});
    Main().catalogue().SetPlace(0, "成都市 武侯区 玉林街道", PlaceState::Web);
    QLineEdit* editor = &Editor();
    const struct {
        Qt::Key key;
        const char* kept;
    } cases[] = {{Qt::Key_Escape, "成都市 武侯区 玉林街道"}, {Qt::Key_Return, "重庆市 渝中区 解放碑"}};
    for (const auto& c : cases) {
        SelectOnly(0);
        DoubleClick(0, kColLocation);
        editor->setText("重庆市/渝中区/解放碑");
        Key(editor, c.key);
        EXPECT_FALSE(editor->isVisible()) << c.key;
        EXPECT_EQ(Rows().text(0, kColLocation), QString::fromUtf8(c.kept)) << c.key;
    }
}

TEST_F(CatalogueListTest, ArrowsInTheEditorCommitAndMoveToTheNeighbouringRow)
{
    AddRows({"A.JPG", "B.JPG", "C.JPG"});
    Main().catalogue().SetPlace(1, "place of B", PlaceState::Web);
    SelectOnly(0);
    DoubleClick(0, kColLocation);
    QLineEdit* editor = &Editor();
    editor->setText(" typed for A ");
    Key(editor, Qt::Key_Down);
    EXPECT_EQ(Rows().text(0, kColLocation), QStringLiteral("typed for A"));
    ASSERT_TRUE(editor->isVisible()) << "the editor reopens on the next row";
    EXPECT_EQ(editor->text(), QStringLiteral("place of B"));
    EXPECT_EQ(Main().ItemIndex(), 1);
    EXPECT_EQ(SelectedRows(), QList<int>({1}));

    Key(editor, Qt::Key_Down);
    Key(editor, Qt::Key_Down); // on the last row: commit and close
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(Column(kColLocation), QStringList({"typed for A", "place of B", "..."}));

    SelectOnly(1);
    DoubleClick(1, kColLocation);
    editor->setText("B again");
    Key(editor, Qt::Key_Up);
    EXPECT_EQ(Rows().text(1, kColLocation), QStringLiteral("B again"));
    EXPECT_EQ(editor->text(), QStringLiteral("typed for A")) << "row 0 opens with its own text";
    Key(editor, Qt::Key_Up); // on the first row: close
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(Column(kColLocation), QStringList({"typed for A", "B again", "..."}));
}

TEST_F(CatalogueListTest, ArrowKeysWrapAroundAndShowPhotosInTheOpenPreview)
{
    AddRows({"A.JPG", "B.MOV", "C.JPG"});
    QWidget* list = &List();
    list->setFocus();
    Key(list, Qt::Key_Down); // no current row: the first
    EXPECT_EQ(SelectedRows(), QList<int>({0}));
    EXPECT_TRUE(windows->Form3()->isVisible()) << "a photo row shows in the image preview";
    const QImage shown = PhotoView().image();
    EXPECT_FALSE(shown.isNull());
    EXPECT_EQ(windows->Form3()->itemindex, 0) << "the window acts on the photo it shows";
    EXPECT_EQ(windows->Form3()->filename, Main().getSourpath(0));
    Key(list, Qt::Key_Down);
    EXPECT_EQ(SelectedRows(), QList<int>({1}));
    EXPECT_EQ(PhotoView().image(), shown) << "a video row leaves it unchanged";
    Key(list, Qt::Key_Down);
    EXPECT_EQ(windows->Form3()->itemindex, 2) << "the photo window follows to C";
    EXPECT_EQ(windows->Form3()->filename, Main().getSourpath(2));
    Key(list, Qt::Key_Down); // from the last row to the first
    EXPECT_EQ(SelectedRows(), QList<int>({0}));
    Key(list, Qt::Key_Up); // from the first row to the last
    EXPECT_EQ(SelectedRows(), QList<int>({2}));
    Key(list, Qt::Key_Home); // the list handles no keys of its own
    EXPECT_EQ(SelectedRows(), QList<int>({2}));
}

TEST_F(CatalogueListTest, ArrowKeysOnAnEmptyListDoNothing)
{
    List().setFocus();
    Key(&List(), Qt::Key_Down);
    Key(&List(), Qt::Key_Up);
    EXPECT_TRUE(SelectedRows().isEmpty());
}

TEST_F(CatalogueListTest, NavigationForThePreviewWindows)
{
    AddRows({"V0.MOV", "V1.MOV", "P2.JPG", "V3.MOV", "V4.MOV", "P5.JPG"});
    EXPECT_EQ(Main().getnexitem(".jpg", 5, 1), 2);
    EXPECT_EQ(Main().getnexitem(".jpg", 5, 0), 2);
    EXPECT_EQ(Main().getnexitem(".mov|.mp4", 4, 1), 0);

    SelectOnly(0);
    Main().ShowSelectItem(3, true);
    EXPECT_EQ(SelectedRows(), QList<int>({3}));
    Main().ShowSelectItem(4, false); // deselects the current row, selects nothing
    EXPECT_TRUE(SelectedRows().isEmpty());
}

} // namespace
