#include "app/ProgramWindows.h"
#include "catalogue/CatalogueListView.h"
#include "catalogue/LocationPass.h"
#include "core/UiHandover.h"
#include "catalogue/MainWindow.h"
#include "dialogs/AboutWindow.h"
#include "dialogs/Dialogs.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/UpdateDialog.h"
#include "preview/ImagePreviewWindow.h"
#include "preview/VideoPreviewWindow.h"
#include "services/IniFile.h"

#include "JpegFixtures.h"
#include "LocalHttpServer.h"
#include "MessageBoxes.h"
#include "TestFiles.h"
#include "WindowParts.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QHeaderView>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QStringList kConfigSections = {"Outck1", "Outck2", "OutPath", "CityText", "MorenCity", "CapImagePath",
                                     "Scan1", "Scan2", "Scan3", "ScanTime", "VerifyCopies", "edtListview", "FilePath"};

class ProgramWindowsTest : public testing::Test {
protected:
    void TearDown() override
    {
        windows.reset();
        SetFolderChooser({});
    }

    void Start(const QString& settingsFolder)
    {
        windows = std::make_unique<ProgramWindows>(settingsFolder);
        windows->show();
    }
    TForm1& Main() { return *windows->Form1(); }
    TForm2& Settings() { return *windows->Form2(); }
    QAction& Action(const char* name) { return Child<QAction>(Main(), name); }
    QLabel& Label(const char* name) { return Child<QLabel>(Main(), name); }
    CatalogueListView& List() { return Child<CatalogueListView>(Main(), "goodslistview"); }
    CatalogueListModel& Rows() { return Main().catalogue().rows(); }
    QTimer& LocationTimer() { return Child<QTimer>(Main(), "GetLocationTimer"); }
    QTimer& UpdateTimer() { return Child<QTimer>(Main(), "GetUpdateInfoTm"); }
    QPushButton& SettingsButton(const char* name) { return Child<QPushButton>(Settings(), name); }
    QLineEdit& SettingsBox(const char* name) { return Child<QLineEdit>(Settings(), name); }
    QRadioButton& SettingsChoice(const char* name) { return Child<QRadioButton>(Settings(), name); }

    QStringList Sections(const QString& path) const
    {
        QStringList names;
        for (const QString& line : ReadTextFile(path).split(u'\n'))
            if (line.startsWith(u'['))
                names << line.mid(1, line.size() - 2);
        return names;
    }

    // Serves events until the location pass has switched its timer off (10 s at most).
    void WaitForThePass()
    {
        QElapsedTimer waited;
        waited.start();
        while (LocationTimer().isActive() && waited.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }

    // "name=place" of every row, sorted.
    QStringList PlacesByName()
    {
        QStringList places;
        for (int row = 0; row < Rows().rowCount(); ++row)
            places << Rows().text(row, kColName) + "=" + Rows().text(row, kColLocation);
        places.sort();
        return places;
    }

    // Adds a row for a file, as entry creation does.
    void AddEntry(const QString& folder, const QString& name, const QString& time)
    {
        NewEntry entry;
        entry.path = folder + name;
        entry.shotTime = ShotTimeFromText(time);
        Main().catalogue().AddEntry(entry, Main().SetInfo().FilePath);
        Main().catalogue().Flush();
    }

    TempFolder folder;
    MessageBoxRecorder boxes;
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
    EXPECT_EQ(Main().SetInfo().FilePath, QStringLiteral("请先选择路径"));
    EXPECT_TRUE(UpdateTimer().isActive());
    EXPECT_EQ(UpdateTimer().interval(), 5000);
    EXPECT_FALSE(LocationTimer().isActive());
    EXPECT_EQ(List().model()->columnCount(), 6);
    EXPECT_TRUE(Child<QLineEdit>(Main(), "edtListview").isHidden());
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(ProgramWindowsTest, SettingsAndRootAreWrittenAtTheEndAndRestoredAtTheNextStart)
{
    Start(folder.path());
    const QString root = folder.path() + "card";
    QDir().mkpath(root);
    SetFolderChooser([&](const QString& prompt, const QString&) {
        EXPECT_EQ(prompt, QStringLiteral("选择存储卡文件夹"));
        return root;
    });
    Action("MainMenu_F_1").trigger(); // "打开文件夹"
    EXPECT_EQ(Main().SetInfo().FilePath, root);
    EXPECT_EQ(Rows().rowCount(), 0) << "choosing a folder does not scan";

    // The dialog is modal: change it while it is open, then confirm.
    bool applyWasDisabledOnOpen = false;
    QTimer::singleShot(0, [&] {
        applyWasDisabledOnOpen = !SettingsButton("btnyy").isEnabled();
        SettingsBox("CityText").setText("日期/城市+区县");
        SettingsChoice("Scan2").click();
        SettingsButton("btnsure").click();
    });
    SettingsButton("btnyy").setEnabled(true); // left enabled by a load: the command disables it first
    Action("MainMenu_S_1").trigger(); // "软件参数"
    EXPECT_TRUE(applyWasDisabledOnOpen);
    EXPECT_FALSE(Settings().isVisible());

    windows.reset(); // the program ends
    const QString config = folder.file("Config.dyi");
    EXPECT_EQ(Sections(config), kConfigSections);

    Start(folder.path());
    EXPECT_EQ(Main().SetInfo().FilePath, root);
    EXPECT_EQ(SettingsBox("CityText").text(), QStringLiteral("日期/城市+区县"));
    EXPECT_TRUE(SettingsChoice("Scan2").isChecked());
    EXPECT_FALSE(SettingsChoice("Scan1").isChecked());
    EXPECT_EQ(SettingsBox("MorenCity").text(), QStringLiteral("遂宁市/船山区/灵泉街道"));
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(ProgramWindowsTest, AFolderChosenAtACaptureIsKeptInTheSettingsAndSaved)
{
    Start(folder.path());
    // The dialog was opened and closed before: its box still shows no capture folder.
    QTimer::singleShot(0, [&] { SettingsButton("btncancle").click(); });
    Main().SettingMeClick();
    windows->Form4()->setCaptureFolder(folder.path() + "caps");
    EXPECT_EQ(windows->Form4()->captureFolder(), folder.path() + "caps");
    IniFile saved(folder.file("Config.dyi"));
    EXPECT_EQ(saved.ReadString("CapImagePath", "CapImagePath", ""), folder.path() + "caps") << "saved at once";
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(SettingsBox("CapImagePath").text(), folder.path() + "caps") << "and shown in the dialog";
        SettingsButton("btncancle").click();
    });
    Main().SettingMeClick();

    // The end of the program keeps it, and the next start has it.
    windows->Form4()->setCaptureFolder(folder.path() + "caps2");
    QTimer::singleShot(0, [&] { Main().close(); });
    EXPECT_EQ(QApplication::exec(), 0);
    windows.reset();
    EXPECT_EQ(IniFile(folder.file("Config.dyi")).ReadString("CapImagePath", "CapImagePath", ""), folder.path() + "caps2");
    Start(folder.path());
    EXPECT_EQ(windows->Form4()->captureFolder(), folder.path() + "caps2");
}

TEST_F(ProgramWindowsTest, CancellingTheFolderPickerKeepsTheRoot)
{
    Start(folder.path());
    Main().SetFilePath(folder.path());
    QString preselected;
    SetFolderChooser([&](const QString&, const QString& preselect) {
        preselected = preselect;
        return QString();
    });
    Main().FloderOpenClick();
    EXPECT_EQ(preselected, folder.path());
    EXPECT_EQ(Main().SetInfo().FilePath, folder.path());
}

TEST_F(ProgramWindowsTest, ExitCommandsEndTheEventLoop)
{
    Start(folder.path());
    for (const char* exit : {"MainMenu_F_4", "mnuExit"}) {
        QTimer::singleShot(0, &Action(exit), &QAction::trigger);
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
    EXPECT_EQ(boxes.shown, QStringList({"1:数据库创建失败", expected, expected, expected}));
}

TEST_F(ProgramWindowsTest, EachRowYieldsItsOwnFilesPath)
{
    Start(folder.path());
    Main().SetFilePath("/media/card");
    AddEntry("/media/card/", "P0001.JPG", "2017/05/03 14:22:10");
    AddEntry("/media/card/100/", " P0002.JPG", "2017/05/03 14:22:11");
    AddEntry("/home/me/Other/", "V0001.MP4", "2017/05/03 14:22:12");

    // Another root chosen later does not move the rows' files.
    Main().SetFilePath("/elsewhere");
    EXPECT_EQ(Main().getSourpath(0), QStringLiteral("/media/card/P0001.JPG"));
    EXPECT_EQ(Main().getSourpath(1), QStringLiteral("/media/card/100/ P0002.JPG"));
    EXPECT_EQ(Main().getSourpath(2), QStringLiteral("/home/me/Other/V0001.MP4"));
    EXPECT_EQ(Main().getSourpath(3), QString()) << "no such row";
    EXPECT_EQ(Main().getSourpath(-1), QString());
}

TEST_F(ProgramWindowsTest, CurrentRowIsTheFirstSelectedInListOrder)
{
    Start(folder.path());
    for (int i = 0; i < 4; ++i)
        AddEntry("/m/", QStringLiteral("P%1.JPG").arg(i), "2017/05/03 14:22:10");
    EXPECT_EQ(Main().ItemIndex(), -1);
    auto* selection = List().selectionModel();
    selection->select(Rows().index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(Rows().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(Main().ItemIndex(), 1);
}

TEST_F(ProgramWindowsTest, ADropOnScanTimeWritesTheCreationTimeWithoutEnablingApply)
{
    Start(folder.path());
    WriteTextFile(folder.file("notes.txt"), "x");
    WriteTextFile(folder.file("P0001.JPG"), "x");
    SettingsButton("btnyy").setEnabled(false);

    Settings().DropOnScanTime({folder.file("notes.txt")});
    EXPECT_TRUE(SettingsBox("ScanTime").text().isEmpty()) << "nothing kept, nothing changed";

    Settings().DropOnScanTime({folder.file("notes.txt"), folder.file("P0001.JPG")});
    const QDateTime written = QDateTime::fromString(SettingsBox("ScanTime").text(), "yyyy/MM/dd HH:mm:ss");
    ASSERT_TRUE(written.isValid()) << SettingsBox("ScanTime").text().toStdString();
    EXPECT_LE(std::abs(written.secsTo(QDateTime::currentDateTime())), 60);
    EXPECT_FALSE(SettingsButton("btnyy").isEnabled());
}

TEST_F(ProgramWindowsTest, ScanningAMissingRootSaysSoAndListsNothing)
{
    Start(folder.path());
    Action("MainMenu_F_2").trigger(); // "扫描ORVEK文件" before any folder was chosen
    EXPECT_EQ(boxes.shown, QStringList({"2:(请先选择路径)不存在"}));
    EXPECT_EQ(Rows().rowCount(), 0);
    EXPECT_FALSE(LocationTimer().isActive());
}

TEST_F(ProgramWindowsTest, TheScanListsTheTreeAndStartsTheLocationPass)
{
    Start(folder.path());
    const QString root = folder.path() + "card";
    ExifFields fields;
    fields.digitized = QDateTime(QDate(2017, 5, 3), QTime(14, 22, 10));
    ASSERT_TRUE(WriteBytes(root + "/100/P0001.JPG", PhotoBytes(fields)));
    ASSERT_TRUE(WriteBytes(root + "/100/P0002.JPG", PhotoBytes(fields).left(30))); // damaged
    ASSERT_TRUE(WriteBytes(root + "/101/V0001.MOV", "v"));
    Main().SetFilePath(root);

    Action("FileFind").trigger();
    Main().WaitForScan();
    EXPECT_EQ(Rows().rowCount(), 3);
    EXPECT_TRUE(LocationTimer().isActive());
    EXPECT_EQ(Label("StatusText").text(), QStringLiteral("共找到 3 个文件，新增 3 个，列表共 3 个"));
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown[0].startsWith(QStringLiteral("0:有 1 个图片文件无法读取")));
    EXPECT_TRUE(boxes.shown[0].contains(root + "/100/P0002.JPG: Stream read error"));

    // The dialog's "指定时间" with a text that is no time: the run ends with a warning.
    boxes.shown.clear();
    SettingsChoice("Scan3").click();
    SettingsBox("ScanTime").setText("yesterday");
    Settings().btnyyClick(); // 应用
    Main().FileFindClick();
    Main().WaitForScan();
    EXPECT_EQ(boxes.shown, QStringList({"0:错误的时间格式"}));
    EXPECT_EQ(Rows().rowCount(), 3);
}

TEST_F(ProgramWindowsTest, PressingScanAgainCancelsTheScanAndKeepsWhatItListed)
{
    Start(folder.path());
    const QString root = folder.path() + "card";
    constexpr int kFiles = 3000;
    for (int i = 0; i < kFiles; ++i)
        ASSERT_TRUE(WriteBytes(root + QStringLiteral("/%1/V%2.MOV").arg(i / 500).arg(i, 5, 10, QChar(u'0')), "v"));
    Main().SetFilePath(root);

    Main().FileFindClick();
    ASSERT_TRUE(Main().Scanning()) << "the scan runs off the UI thread";
    EXPECT_EQ(Action("FileFind").text(), QStringLiteral("取消扫描"));
    Main().ListDropped({root + "/0"}); // ignored while scanning
    Main().FileFindClick();
    EXPECT_EQ(Label("StatusText").text(), QStringLiteral("正在取消扫描……"));
    Main().WaitForScan();
    EXPECT_EQ(Action("FileFind").text(), QStringLiteral("扫描ORVEK文件"));
    // However far it came before the stop, the status tells what the list holds.
    const int listed = Rows().rowCount();
    const QString status = Label("StatusText").text();
    EXPECT_TRUE(status.startsWith(QStringLiteral("扫描已取消：")) || status.startsWith(QStringLiteral("共找到"))) << status.toStdString();
    EXPECT_TRUE(status.endsWith(QStringLiteral("新增 %1 个，列表共 %1 个").arg(listed))) << status.toStdString();

    // The next scan lists the rest, each file once.
    Main().FileFindClick();
    Main().WaitForScan();
    EXPECT_EQ(Rows().rowCount(), kFiles);
    EXPECT_EQ(Label("StatusText").text(), QStringLiteral("共找到 %1 个文件，新增 %2 个，列表共 %1 个").arg(kFiles).arg(kFiles - listed));
    EXPECT_TRUE(boxes.shown.isEmpty());
}

TEST_F(ProgramWindowsTest, DroppedFilesAndFoldersBecomeEntriesWithoutTheScanModeAndGetTheirPlaces)
{
    Start(folder.path());
    ASSERT_TRUE(WriteBytes(folder.path() + "drop/a/V0001.mp4", "v"));
    ASSERT_TRUE(WriteBytes(folder.path() + "drop/P0001.JPG", PhotoBytes(std::nullopt)));
    ASSERT_TRUE(WriteBytes(folder.path() + "drop/song.mp3", "m"));
    SettingsChoice("Scan3").click();
    SettingsBox("ScanTime").setText("not a time"); // ignored by drops

    Main().ListDropped({folder.path() + "drop/a", folder.path() + "drop/P0001.JPG", folder.path() + "drop/song.mp3"});
    Main().WaitForScan();
    EXPECT_EQ(Rows().rowCount(), 2);
    EXPECT_TRUE(boxes.shown.isEmpty());
    EXPECT_TRUE(LocationTimer().isActive()) << "a drop starts the location pass";
    UiHandover::WaitServing([&] { return !LocationTimer().isActive(); });
    for (int row = 0; row < 2; ++row)
        EXPECT_EQ(Rows().text(row, kColLocation), QStringLiteral("未知")) << "no positions: named at once";
    EXPECT_EQ(Rows().data(Rows().index(0, kColLocation), Qt::ToolTipRole).toString(),
              QStringLiteral("没有位置信息"));
}

TEST_F(ProgramWindowsTest, AScanListsByPathAndASortedListStaysSortedAfterADrop)
{
    Start(folder.path());
    const QString root = folder.path() + "card";
    for (const char* file : {"102/A.JPG", "100/C.JPG", "101/B.JPG", "100/D.JPG"})
        ASSERT_TRUE(WriteBytes(root + "/" + file, PhotoBytes(std::nullopt)));
    Main().SetFilePath(root);
    Main().FileFindClick();
    Main().WaitForScan();
    QStringList names;
    for (int row = 0; row < Rows().rowCount(); ++row)
        names << Rows().text(row, kColName);
    EXPECT_EQ(names, QStringList({"C.JPG", "D.JPG", "B.JPG", "A.JPG"})) << "by path: 100/C, 100/D, 101/B, 102/A";

    Main().goodslistviewColumnClick(kColName); // A to Z
    ASSERT_TRUE(WriteBytes(folder.path() + "drop/AA.JPG", PhotoBytes(std::nullopt)));
    Main().ListDropped({folder.path() + "drop/AA.JPG"});
    Main().WaitForScan();
    names.clear();
    for (int row = 0; row < Rows().rowCount(); ++row)
        names << Rows().text(row, kColName);
    EXPECT_EQ(names, QStringList({"A.JPG", "AA.JPG", "B.JPG", "C.JPG", "D.JPG"})) << "the dropped row takes its place";
    EXPECT_EQ(List().header()->sortIndicatorSection(), kColName);
}

TEST_F(ProgramWindowsTest, AfterAScanThePassFillsInThePlacesWithoutBlockingTheWindow)
{
    // A slow service: each answer takes 300 ms.
    LocalHttpServer service;
    service.Get("/ws/geocoder/v1/", [](const httplib::Request& request, httplib::Response& response) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        response.set_content(R"({"status":0,"result":{"address_component":{"city":"遂宁市","district":"船山区"},)"
                             R"("formatted_addresses":{"recommend":")" + request.get_param_value("location") + R"("}}})",
                             "application/json");
    });
    service.Start();
    WriteTextFile(folder.file("Config.dyi"), "[GeoServiceUrl]\nGeoServiceUrl=" + service.BaseUrl() + "\n");
    Start(folder.path());
    const QString root = folder.path() + "card";
    for (int i = 0; i < 3; ++i) {
        ExifFields fields;
        fields.digitized = QDateTime(QDate(2017, 5, 3), QTime(14, 22, 10 + i));
        if (i != 1) {
            fields.latitude = GpsFromDegrees(30.5130 + i * 0.0001, true); // rows 0 and 2 share a cell
            fields.longitude = GpsFromDegrees(105.5912, false);
        }
        ASSERT_TRUE(WriteBytes(root + QStringLiteral("/P000%1.JPG").arg(i), PhotoBytes(fields)));
    }
    Main().SetFilePath(root);
    Main().FileFindClick();
    Main().WaitForScan();

    int ticksWhileAsking = 0;
    QStringList placeStatus; // what the status bar says about places, in turn
    QObject::connect(&LocationTimer(), &QTimer::timeout, [&] {
        if (Main().locationPass().LookupUnderWay())
            ++ticksWhileAsking;
        const QString text = Label("PlaceStatusText").text();
        if (placeStatus.isEmpty() || placeStatus.last() != text)
            placeStatus << text;
    });
    WaitForThePass();
    EXPECT_EQ(placeStatus.value(0), QStringLiteral("正在查询地名：还有 2 个文件")) << placeStatus.join(" | ").toStdString();
    EXPECT_EQ(Label("PlaceStatusText").text(), QString()) << "nothing left to say at the end";
    EXPECT_FALSE(LocationTimer().isActive()) << "the pass ends when nothing is pending";
    EXPECT_EQ(PlacesByName(), QStringList({"P0000.JPG=遂宁市 船山区 30.5130,105.5912", "P0001.JPG=未知",
                                   "P0002.JPG=遂宁市 船山区 30.5130,105.5912"}));
    EXPECT_EQ(service.Targets().size(), 1);
    EXPECT_GT(ticksWhileAsking, 10) << "the timer kept ticking while the service was thinking";
}

TEST_F(ProgramWindowsTest, WithoutTheWebTheScanStillGetsPlacesAndTheStatusBarSaysWhereFrom)
{
    LocalHttpServer gone; // an address where nothing answers any more
    gone.Start();
    const QString address = gone.BaseUrl();
    gone.Stop();
    WriteTextFile(folder.file("Config.dyi"), "[GeoServiceUrl]\nGeoServiceUrl=" + address + "\n");
    Start(folder.path());
    const QString root = folder.path() + "card";
    const std::pair<double, double> positions[] = {{30.5130, 105.5912}, {22.5431, 114.0596}, {39.9075, 116.3912}};
    for (int i = 0; i < 3; ++i) {
        ExifFields fields;
        fields.digitized = QDateTime(QDate(2017, 5, 3), QTime(14, 22, 10 + i));
        fields.latitude = GpsFromDegrees(positions[i].first, true);
        fields.longitude = GpsFromDegrees(positions[i].second, false);
        ASSERT_TRUE(WriteBytes(root + QStringLiteral("/P000%1.JPG").arg(i), PhotoBytes(fields)));
    }
    Main().SetFilePath(root);
    Main().FileFindClick();
    Main().WaitForScan();
    WaitForThePass();
    EXPECT_EQ(PlacesByName(), QStringList({"P0000.JPG=遂宁市 船山区 船山区", "P0001.JPG=深圳市 福田区 福田区",
                                   "P0002.JPG=北京市 东城区 东城区"}));
    EXPECT_EQ(Label("PlaceStatusText").text(), QStringLiteral("联网查询地名失败，已改用离线数据（没有街道名）"));
    EXPECT_TRUE(Label("StatusText").text().startsWith(QStringLiteral("共找到 3 个文件"))) << "the scan's summary stays";
}

TEST_F(ProgramWindowsTest, UpdateTimerDoublesItsIntervalOnEveryTick)
{
    Start(folder.path());
    QList<int> intervals;
    for (int i = 0; i < 4; ++i) {
        Main().GetUpdateInfoTmTimer();
        intervals << UpdateTimer().interval();
    }
    EXPECT_EQ(intervals, QList<int>({10000, 20000, 40000, 80000}));
    for (int i = 0; i < 40; ++i)
        Main().GetUpdateInfoTmTimer();
    EXPECT_GT(UpdateTimer().interval(), 0) << "the interval never wraps around";
}

TEST_F(ProgramWindowsTest, ColumnWidthsFollowTheListWidth)
{
    Start(folder.path());
    Main().resize(1000, 700);
    QApplication::processEvents();
    Main().SetColumnWidths();
    const auto expected = CatalogueColumnWidths(List().width());
    for (int c = 0; c < kColumnCount; ++c)
        EXPECT_EQ(List().columnWidth(c), expected[static_cast<size_t>(c)]) << c;
}

} // namespace
