#include "ProgramWindows.h"

#include "catalogue/MainWindow.h"
#include "preview/ImagePreviewWindow.h"
#include "preview/VideoPreviewWindow.h"
#include "services/AboutWindow.h"
#include "services/Dialogs.h"
#include "services/SettingsDialog.h"
#include "services/UpdateDialog.h"

#include "TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QStringList kConfigSections = {"Outck1", "Outck2", "OutPath", "CityText", "MorenCity", "CapImagePath",
                                     "Scan1", "Scan2", "Scan3", "ScanTime", "edtListview", "FilePath"};

class ProgramWindowsTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetMsgBoxHandler([this](const QString& text, unsigned kind) {
            messages << QStringLiteral("%1:%2").arg(kind).arg(text);
            return false;
        });
    }
    void TearDown() override
    {
        windows.reset();
        SetMsgBoxHandler({});
        SetFolderChooser({});
    }

    void Start(const QString& settingsFolder)
    {
        windows = std::make_unique<ProgramWindows>(settingsFolder);
        windows->show();
    }
    TForm1& Main() { return *windows->Form1(); }
    TForm2& Settings() { return *windows->Form2(); }

    QStringList Sections(const QString& path) const
    {
        QStringList names;
        for (const QString& line : ReadTextFile(path).split(u'\n'))
            if (line.startsWith(u'['))
                names << line.mid(1, line.size() - 2);
        return names;
    }

    // Adds a row and its record for a file, as entry creation does.
    void AddEntry(const QString& folder, const QString& name, const QString& time)
    {
        CatalogueRow row;
        row.cells = {name, "图片", "1.00", "...", time, ""};
        row.imageIndex = 6;
        Main().listModel->appendRow(row);
        auto record = std::make_unique<Listviewdata>();
        record->filename = name;
        record->filemaketime = time;
        SetRecordFolder(*record, folder, Main().SetInfo.FilePath);
        Main().catalogueIndex().insert(CatalogueKey(name, time), std::move(record));
    }

    TempFolder folder;
    QStringList messages;
    std::unique_ptr<ProgramWindows> windows;
};

TEST_F(ProgramWindowsTest, StartsWithEveryWindowAndOnlyTheMainOneShown)
{
    Start(folder.path());
    EXPECT_EQ(Main().windowTitle(), QStringLiteral("ORVEK-FILE(1.0.0.1)"));
    EXPECT_TRUE(Main().isVisible());
    for (QWidget* hidden : std::initializer_list<QWidget*>{windows->Form2(), windows->Form3(), windows->Form4(),
                                                          windows->Form5(), windows->MyDlg()})
        EXPECT_FALSE(hidden->isVisible()) << hidden->objectName().toStdString();
    EXPECT_EQ(Main().SetInfo.FilePath, QStringLiteral("请先选择路径"));
    EXPECT_TRUE(Main().GetUpdateInfoTm->isActive());
    EXPECT_EQ(Main().GetUpdateInfoTm->interval(), 5000);
    EXPECT_FALSE(Main().GetLocationTimer->isActive());
    EXPECT_EQ(Main().goodslistview->model()->columnCount(), 6);
    EXPECT_TRUE(Main().edtListview->isHidden());
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ProgramWindowsTest, SettingsAndRootAreWrittenAtTheEndAndRestoredAtTheNextStart)
{
    Start(folder.path());
    const QString root = folder.path() + "card";
    QDir().mkpath(root);
    SetFolderChooser([&](const QString& prompt, const QString&) {
        EXPECT_EQ(prompt, QStringLiteral("选择备份文件存放目录"));
        return root;
    });
    Main().MainMenu_F_1->trigger(); // "打开文件夹"
    EXPECT_EQ(Main().SetInfo.FilePath, root);
    EXPECT_EQ(Main().listModel->rowCount(), 0) << "choosing a folder does not scan";

    // The dialog is modal: change it while it is open, then confirm.
    bool applyWasDisabledOnOpen = false;
    QTimer::singleShot(0, [&] {
        applyWasDisabledOnOpen = !Settings().btnyy->isEnabled();
        Settings().CityText->setText("日期/城市+区县");
        Settings().Scan2->click();
        Settings().btnsure->click();
    });
    Settings().btnyy->setEnabled(true); // left enabled by a load: the command disables it first
    Main().MainMenu_S_1->trigger(); // "软件参数"
    EXPECT_TRUE(applyWasDisabledOnOpen);
    EXPECT_FALSE(Settings().isVisible());

    windows.reset(); // the program ends
    const QString config = folder.file("Config.dyi");
    EXPECT_EQ(Sections(config), kConfigSections);

    Start(folder.path());
    EXPECT_EQ(Main().SetInfo.FilePath, root);
    EXPECT_EQ(Settings().CityText->text(), QStringLiteral("日期/城市+区县"));
    EXPECT_TRUE(Settings().Scan2->isChecked());
    EXPECT_FALSE(Settings().Scan1->isChecked());
    EXPECT_EQ(Settings().MorenCity->text(), QStringLiteral("遂宁市/船山区/灵泉街道"));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ProgramWindowsTest, CancellingTheFolderPickerKeepsTheRoot)
{
    Start(folder.path());
    Main().SetInfo.FilePath = folder.path();
    QString preselected;
    SetFolderChooser([&](const QString&, const QString& preselect) {
        preselected = preselect;
        return QString();
    });
    Main().FloderOpenClick();
    EXPECT_EQ(preselected, folder.path());
    EXPECT_EQ(Main().SetInfo.FilePath, folder.path());
}

TEST_F(ProgramWindowsTest, ExitCommandsEndTheEventLoop)
{
    Start(folder.path());
    for (QAction* exit : {Main().MainMenu_F_4, Main().mnuExit}) {
        QTimer::singleShot(0, exit, &QAction::trigger);
        EXPECT_EQ(QApplication::exec(), 0);
    }
    QTimer::singleShot(0, [&] { Main().close(); });
    EXPECT_EQ(QApplication::exec(), 0);
}

TEST_F(ProgramWindowsTest, AnUnwritableSettingsFileIsReportedAndTheProgramGoesOn)
{
    Start(folder.path() + "no-such-folder/");
    windows.reset();
    // The dialog's save step and the main window's two save steps each report once.
    const QString expected = QStringLiteral("2:Unable to write to %1no-such-folder/Config.dyi").arg(folder.path());
    EXPECT_EQ(messages, QStringList({expected, expected, expected}));
}

TEST_F(ProgramWindowsTest, EachRowYieldsItsOwnFilesPath)
{
    Start(folder.path());
    Main().SetInfo.FilePath = "/media/card";
    AddEntry("/media/card/", "P0001.JPG", "2017/05/03 14:22:10");
    AddEntry("/media/card/100/", " P0002.JPG", "2017/05/03 14:22:11");
    AddEntry("/home/me/Other/", "V0001.MP4", "2017/05/03 14:22:12");
    CatalogueRow orphan;
    orphan.cells = {"gone.jpg", "图片", "", "", "2017/05/03 14:22:13", ""};
    Main().listModel->appendRow(orphan);

    // Another root chosen later does not move the rows' files.
    Main().SetInfo.FilePath = "/elsewhere";
    EXPECT_EQ(Main().getSourpath(0), QStringLiteral("/media/card/P0001.JPG"));
    EXPECT_EQ(Main().getSourpath(1), QStringLiteral("/media/card/100/ P0002.JPG"));
    EXPECT_EQ(Main().getSourpath(2), QStringLiteral("/home/me/Other/V0001.MP4"));
    EXPECT_EQ(Main().getSourpath(3), QString()) << "a row without a record has no path";
    EXPECT_EQ(Main().getSourpath(4), QString());
    EXPECT_EQ(Main().getSourpath(-1), QString());

    Main().ClearListviewInfo();
    EXPECT_EQ(Main().getSourpath(0), QString());
    EXPECT_EQ(Main().listModel->rowCount(), 4) << "clearing the records leaves the rows";
}

TEST_F(ProgramWindowsTest, CurrentRowIsTheFirstSelectedInListOrder)
{
    Start(folder.path());
    for (int i = 0; i < 4; ++i)
        AddEntry("/m/", QStringLiteral("P%1.JPG").arg(i), "2017/05/03 14:22:10");
    EXPECT_EQ(Main().ItemIndex(), -1);
    auto* selection = Main().goodslistview->selectionModel();
    selection->select(Main().listModel->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(Main().listModel->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(Main().ItemIndex(), 1);
}

TEST_F(ProgramWindowsTest, ADropOnScanTimeWritesTheCreationTimeWithoutEnablingApply)
{
    Start(folder.path());
    WriteTextFile(folder.file("notes.txt"), "x");
    WriteTextFile(folder.file("P0001.JPG"), "x");
    Settings().btnyy->setEnabled(false);

    Main().ScanTimeDropped({folder.file("notes.txt")});
    EXPECT_TRUE(Settings().ScanTime->text().isEmpty()) << "nothing kept, nothing changed";

    Main().ScanTimeDropped({folder.file("notes.txt"), folder.file("P0001.JPG")});
    const QDateTime written = QDateTime::fromString(Settings().ScanTime->text(), "yyyy/MM/dd HH:mm:ss");
    ASSERT_TRUE(written.isValid()) << Settings().ScanTime->text().toStdString();
    EXPECT_LE(std::abs(written.secsTo(QDateTime::currentDateTime())), 60);
    EXPECT_FALSE(Settings().btnyy->isEnabled());
}

TEST_F(ProgramWindowsTest, UpdateTimerDoublesItsIntervalOnEveryTick)
{
    Start(folder.path());
    QList<int> intervals;
    for (int i = 0; i < 4; ++i) {
        Main().GetUpdateInfoTmTimer();
        intervals << Main().GetUpdateInfoTm->interval();
    }
    EXPECT_EQ(intervals, QList<int>({10000, 20000, 40000, 80000}));
    for (int i = 0; i < 40; ++i)
        Main().GetUpdateInfoTmTimer();
    EXPECT_GT(Main().GetUpdateInfoTm->interval(), 0) << "the interval never wraps around";
}

TEST_F(ProgramWindowsTest, ColumnWidthsFollowTheListWidth)
{
    Start(folder.path());
    Main().resize(1000, 700);
    QApplication::processEvents();
    Main().SetColumnWidths();
    const auto expected = CatalogueColumnWidths(Main().goodslistview->width());
    for (int c = 0; c < kColumnCount; ++c)
        EXPECT_EQ(Main().goodslistview->columnWidth(c), expected[static_cast<size_t>(c)]) << c;
}

} // namespace
