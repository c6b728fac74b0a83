// The export through the real main window, and a kill in the middle of a copy.

#include "app/ProgramWindows.h"

#include "catalogue/CatalogueListView.h"
#include "catalogue/MainWindow.h"
#include <QLabel>
#include "dialogs/Dialogs.h"
#include "dialogs/SettingsDialog.h"
#include "preview/ImagePreviewWindow.h"

#include "JpegFixtures.h"
#include "MessageBoxes.h"
#include "TestFiles.h"
#include "WindowParts.h"

#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <unistd.h>
#include <gtest/gtest.h>

namespace {

ExifFields ShotAt(const QDateTime& when)
{
    ExifFields fields;
    fields.digitized = when;
    return fields;
}

class ExportWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        windows = std::make_unique<ProgramWindows>(folder.path());
        windows->show();
        QDir().mkpath(out());
    }
    void TearDown() override
    {
        windows.reset();
    }
    TForm1& Main() { return *windows->Form1(); }
    TForm2& Settings() { return *windows->Form2(); }
    QAction& Action(const char* name) { return Child<QAction>(Main(), name); }
    CatalogueListModel& Rows() { return Main().catalogue().rows(); }
    QString out() const { return folder.path() + "out"; }
    QString card() const { return folder.path() + "card"; }

    void ScanCard()
    {
        Main().SetFilePath(card());
        Main().FileFindClick();
        Main().WaitForScan();
        Child<QTimer>(Main(), "GetLocationTimer").stop(); // places stay "..." (the export reads what is there)
    }
    // The settings dialog's "新建文件" with an output folder, applied.
    void ChooseNewFiles(const QString& path, const QString& rule = {})
    {
        Child<QRadioButton>(Settings(), "Outck2").click();
        Child<QLineEdit>(Settings(), "OutPath").setText(path);
        if (!rule.isEmpty())
            Child<QLineEdit>(Settings(), "CityText").setText(rule);
        Settings().btnyyClick(); // 应用
    }
    void ExportAndWait()
    {
        Action("FileOut").trigger();
        Main().WaitForWorker();
        QApplication::processEvents(); // the end message, if any
    }
    // A card of a 300 MB video (listed first, so the export is busy with it for a while) and
    // four photos a second apart.
    void WriteBusyCard()
    {
        QDir().mkpath(card());
        QFile big(card() + "/A0001.MOV");
        ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(300LL * 1000 * 1000));
        big.close();
        for (int i = 1; i <= 4; ++i)
            ASSERT_TRUE(WriteBytes(card() + QStringLiteral("/P000%1.JPG").arg(i),
                                   PhotoBytes(ShotAt(QDateTime(QDate(2017, 5, 3), QTime(14, 22, 10 + i)))) + QByteArray(i, 'x')));
        ScanCard();
        Main().goodslistviewColumnClick(kColName); // by name: the video first
        ASSERT_EQ(Rows().text(0, kColName), "A0001.MOV");
    }
    // Starts the export and waits until the video's copy is under way.
    void StartExportAndWaitForTheVideo()
    {
        Action("FileOut").trigger();
        QElapsedTimer waited;
        waited.start();
        while (Rows().text(Main().catalogue().RowOfKey(videoKey()), kColStatus).isEmpty() && waited.elapsed() < 10000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QString videoKey()
    {
        for (int row = 0; row < Rows().rowCount(); ++row)
            if (Rows().text(row, kColName) == "A0001.MOV")
                return Main().catalogue().RowKey(row);
        return {};
    }
    int RowNamed(const QString& name)
    {
        for (int row = 0; row < Rows().rowCount(); ++row)
            if (Rows().text(row, kColName) == name)
                return row;
        return -1;
    }
    QStringList Statuses()
    {
        QStringList texts;
        for (int row = 0; row < Rows().rowCount(); ++row)
            texts << Rows().text(row, kColStatus);
        return texts;
    }

    // What the program does once its main loop has ended: the windows go, stopping an export on
    // the way. A quit met after the loop (Qt posts one when the last window closes) marks every
    // later loop as ended at once; the tests after this one share the application, so what is
    // left for it is dropped and its main loop runs once more, which clears that mark.
    void AfterTheMainLoop()
    {
        windows.reset();
        QCoreApplication::removePostedEvents(QCoreApplication::instance());
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        QApplication::exec();
    }
    // Every folder below root, relative to it.
    static QStringList FoldersBelow(const QString& root)
    {
        QStringList folders;
        QDirIterator it(root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            folders << it.next().mid(root.size());
        return folders;
    }

    QString CurrentStatusText() { return Child<QLabel>(Main(), "StatusText").text(); }
    static QByteArray ReadBytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    TempFolder folder;
    MessageBoxRecorder boxes;
    std::unique_ptr<ProgramWindows> windows;
};

TEST_F(ExportWindowTest, TheCardArrivesOnceWithItsFlightLogsAndASecondRunCopiesNothing)
{
    const QDateTime second(QDate(2017, 5, 3), QTime(14, 22, 10));
    for (int i = 0; i < 3; ++i) // a burst: three photos in one second
        ASSERT_TRUE(WriteBytes(card() + QStringLiteral("/100/P000%1.JPG").arg(i), PhotoBytes(ShotAt(second)) + QByteArray(i + 1, 'x')));
    ASSERT_TRUE(WriteBytes(card() + "/101/V0001.MOV", QByteArray(4000000, 'v')));
    ASSERT_TRUE(WriteBytes(card() + "/101/V0001.SRT", "1\n00:00\nHOME\nGPS(1,2,3)\n"));
    ASSERT_TRUE(WriteBytes(card() + "/101/EMPTY.MP4", ""));
    for (const char* video : {"/101/V0001.MOV", "/101/EMPTY.MP4"}) {
        QFile file(card() + video);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.setFileTime(second.addSecs(60), QFileDevice::FileModificationTime));
    }
    ScanCard();
    QStringList videoProgress; // what the 4,000,000-byte video's status cell shows, in turn
    QObject::connect(&Rows(), &QAbstractItemModel::dataChanged, [&](const QModelIndex& at) {
        if (at.column() == kColStatus && Rows().text(at.row(), kColName) == "V0001.MOV")
            videoProgress << Rows().text(at.row(), kColStatus);
    });
    ChooseNewFiles(out() + "/", "日期"); // a trailing separator changes nothing

    ExportAndWait();
    ASSERT_EQ(boxes.shown.size(), 1) << boxes.shown.join("; ").toStdString();
    EXPECT_TRUE(boxes.shown[0].startsWith("1:") && boxes.shown[0].contains(QStringLiteral("可以格式化存储卡")))
        << "a verified export without a failure says the card may be formatted";
    EXPECT_EQ(Statuses(), QStringList(5, QStringLiteral("已校验")));
    const QStringList tree = FilesBelow(out() + "/2017-05-03/");
    EXPECT_EQ(tree.filter(QRegularExpression("^I-20170503142210(-[12])?\\.JPG$")).size(), 3) << tree.join(" ").toStdString();
    EXPECT_EQ(tree.filter(QRegularExpression("\\.SRT$")).size(), 1);
    EXPECT_TRUE(Action("FileOut").isEnabled());
    // The video in two blocks, then its flight log in one (the same cell shows both).
    EXPECT_EQ(videoProgress, QStringList({"0", "0", "50", "100", "0", "0", "100", QStringLiteral("已校验")}));
    EXPECT_TRUE(tree.contains("V-20170503142310.MOV") && tree.contains("V-20170503142310.SRT")) << tree.join(" ").toStdString();

    for (int row = 0; row < Rows().rowCount(); ++row)
        Main().catalogue().SetStatus(row, "");
    ChooseNewFiles(out());
    ExportAndWait();
    EXPECT_EQ(FilesBelow(out() + "/2017-05-03/").size(), tree.size()) << "nothing new";
    EXPECT_EQ(Statuses(), QStringList(5, QStringLiteral("已存在")));
    EXPECT_TRUE(CurrentStatusText().contains(QStringLiteral("复制 0 个文件，5 个已存在")));
}

TEST_F(ExportWindowTest, TheOutputFolderIsCheckedBeforeAnythingStarts)
{
    ASSERT_TRUE(WriteBytes(card() + "/P0001.JPG", PhotoBytes(std::nullopt)));
    ScanCard();
    ChooseNewFiles("");
    ExportAndWait();
    ChooseNewFiles(folder.path() + "missing");
    EXPECT_TRUE(Child<QRadioButton>(Settings(), "Outck2").isChecked());
    ExportAndWait();
    EXPECT_EQ(boxes.shown, QStringList({"0:请先选择路径", "2:(" + folder.path() + "missing)不存在"}));
    EXPECT_TRUE(FilesBelow(out()).isEmpty());
}

TEST_F(ExportWindowTest, WithoutTheNewFilesModeTheUserIsToldWhatToChooseAndTheSettingsOpen)
{
    ASSERT_TRUE(WriteBytes(card() + "/P0001.JPG", PhotoBytes(std::nullopt)));
    ScanCard();
    for (const bool modifySource : {false, true}) {
        if (modifySource) {
            Child<QRadioButton>(Settings(), "Outck1").click();
            Settings().btnyyClick();
        }
        boxes.shown.clear();
        bool settingsShown = false;
        QTimer::singleShot(0, [&] {
            settingsShown = Settings().isVisible();
            Settings().reject();
        });
        ExportAndWait();
        ASSERT_EQ(boxes.shown.size(), 1);
        EXPECT_TRUE(boxes.shown[0].contains(QStringLiteral("软件参数")) && boxes.shown[0].contains(QStringLiteral("新建文件")))
            << boxes.shown[0].toStdString();
        EXPECT_EQ(boxes.shown[0].contains(QStringLiteral("修改源文件")), modifySource);
        EXPECT_TRUE(settingsShown);
        EXPECT_FALSE(CurrentStatusText().contains(QStringLiteral("导出"))) << "no export ran, so none is reported";
    }
}

TEST_F(ExportWindowTest, SortingAndDeletingInThePhotoWindowDuringAnExportMisnameAndSkipNothing)
{
    WriteBusyCard();
    ChooseNewFiles(out(), "日期");
    StartExportAndWaitForTheVideo();
    ASSERT_TRUE(Action("FileOut").isEnabled() && Rows().text(Main().catalogue().RowOfKey(videoKey()), kColStatus) != "100")
        << "the video is still being copied";
    Main().goodslistviewColumnClick(kColName); // descending: the photos now come before the video
    ASSERT_EQ(Rows().text(0, kColName), "P0004.JPG");
    boxes.yes = [](const QString&) { return true; };
    windows->Form3()->InitFile(RowNamed("P0003.JPG"));
    Child<QPushButton>(*windows->Form3(), "Button3").click(); // 删除 in the photo window
    Main().WaitForWorker();
    QApplication::processEvents();

    const QString day = out() + "/2017-05-03/";
    EXPECT_EQ(FilesBelow(day).filter(".JPG"), QStringList({"I-20170503142211.JPG", "I-20170503142212.JPG", "I-20170503142214.JPG"}));
    for (int i : {1, 2, 4})
        EXPECT_EQ(ReadBytes(day + QStringLiteral("I-2017050314221%1.JPG").arg(i)), ReadBytes(card() + QStringLiteral("/P000%1.JPG").arg(i)));
    EXPECT_EQ(Statuses(), QStringList(4, QStringLiteral("已校验")));
}

TEST_F(ExportWindowTest, AnExportClearsTheStatusOfEarlierRunsFirst)
{
    WriteBusyCard();
    ChooseNewFiles(out());
    for (int row = 0; row < Rows().rowCount(); ++row)
        Main().catalogue().SetStatus(row, "100"); // an earlier run's
    StartExportAndWaitForTheVideo();
    Action("FileOut").trigger(); // cancel
    Main().WaitForWorker();
    QApplication::processEvents();
    EXPECT_EQ(Statuses().mid(1), QStringList(4, "")) << "not copied in this run";
    EXPECT_TRUE(FilesBelow(out()).filter(".JPG").isEmpty());
}

TEST_F(ExportWindowTest, CancellingMidCopyLeavesNoPartialFile)
{
    QFile big(card() + "/V0001.MOV");
    QDir().mkpath(card());
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(300LL * 1000 * 1000));
    big.close();
    ScanCard();
    ChooseNewFiles(out());
    Action("FileOut").trigger();
    QElapsedTimer waited;
    waited.start();
    while (Rows().text(0, kColStatus).isEmpty() && waited.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    Action("FileOut").trigger(); // cancel
    EXPECT_FALSE(Action("FileOut").isEnabled()) << "disabled until the task has ended";
    Main().WaitForWorker();
    QApplication::processEvents();
    EXPECT_TRUE(Action("FileOut").isEnabled());
    const QStringList left = FilesBelow(out());
    EXPECT_TRUE(left.isEmpty() || left == QStringList({"/2017-05-03/V-" + QFileInfo(big).lastModified().toString("yyyyMMddHHmmss") + ".MOV"}))
        << left.join(" ").toStdString();
    EXPECT_TRUE(left.filter(".orvek-part").isEmpty());
    if (left.isEmpty()) { // stopped mid-copy, as nearly always
        EXPECT_EQ(Rows().text(0, kColStatus), "") << "a stopped copy shows no share";
        EXPECT_TRUE(FoldersBelow(out()).isEmpty()) << "the folder made for it goes too";
    }
}

TEST_F(ExportWindowTest, ClosingDuringAnExportAsksWhetherToGoOnOrToStopAndQuit)
{
    WriteBusyCard();
    ChooseNewFiles(out(), "日期");
    StartExportAndWaitForTheVideo();
    // The video's copy waits for this thread at its next block, so it is under way until the
    // test lets events through.
    ASSERT_EQ(Main().CurrentWorkerState(), WorkerState::Busy);
    const QString question = QStringLiteral("3:正在导出，还有文件没有复制。现在退出的话，这次备份不完整（已复制的文件会保留）。 [继续导出/停止并退出]");

    // 继续导出: whichever way the user closes, the window and the export stay.
    boxes.choose = [](const QString&) { return QStringLiteral("继续导出"); };
    Main().close();
    Action("MainMenu_F_4").trigger(); // 退出
    Action("mnuExit").trigger();      // 退出(&X)
    EXPECT_EQ(boxes.shown, QStringList(3, question));
    EXPECT_TRUE(Main().isVisible());
    EXPECT_EQ(Main().CurrentWorkerState(), WorkerState::Busy);

    // 停止并退出: the export stops and the program ends; the video stopped mid-copy leaves
    // neither a file nor the folder made for it, and its row no share.
    boxes.Clear();
    boxes.choose = [](const QString&) { return QStringLiteral("停止并退出"); };
    Main().close();
    EXPECT_EQ(boxes.shown, QStringList({question}));
    EXPECT_FALSE(Main().isVisible());
    EXPECT_EQ(QApplication::exec(), 0) << "the program ends";
    Main().WaitForWorker();
    QApplication::processEvents();
    EXPECT_EQ(Rows().text(Main().catalogue().RowOfKey(videoKey()), kColStatus), "");
    EXPECT_TRUE(FilesBelow(out()).isEmpty()) << FilesBelow(out()).join(" ").toStdString();
    EXPECT_TRUE(FoldersBelow(out()).isEmpty()) << FoldersBelow(out()).join(" ").toStdString();
    AfterTheMainLoop();
}

TEST_F(ExportWindowTest, TheProgramEndingOfItsOwnAccordDuringAnExportAsksNothing)
{
    WriteBusyCard();
    ChooseNewFiles(out());
    StartExportAndWaitForTheVideo();
    ASSERT_EQ(Main().CurrentWorkerState(), WorkerState::Busy);
    boxes.choose = [](const QString&) { return QStringLiteral("停止并退出"); }; // should it ask, it still ends
    // What a termination signal does (and the updater taking over): the application is asked
    // to end, which closes its windows.
    QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join("; ").toStdString();
    EXPECT_FALSE(Main().isVisible());
    AfterTheMainLoop();
}

TEST_F(ExportWindowTest, RowsCannotBeRemovedWhileAnExportRuns)
{
    QDir().mkpath(card());
    QFile big(card() + "/V0001.MOV");
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(300LL * 1000 * 1000));
    big.close();
    ScanCard();
    ChooseNewFiles(out());
    Action("FileOut").trigger();
    Child<CatalogueListView>(Main(), "goodslistview").selectAll();
    Action("MenuItem1").trigger();
    Action("MenuItem2").trigger();
    EXPECT_EQ(Rows().rowCount(), 1) << "the export's rows stay where they are";
    EXPECT_EQ(boxes.shown.size(), 2);
    EXPECT_TRUE(boxes.shown.value(0).startsWith(QStringLiteral("0:正在导出")));
    Action("FileOut").trigger(); // cancel
    Main().WaitForWorker();
    Action("MenuItem2").trigger();
    EXPECT_EQ(Rows().rowCount(), 0) << "after the export, removal works again";
}

TEST_F(ExportWindowTest, AFailedFileIsToldAtTheEndTheRestArrivesAndARetryTakesOnlyIt)
{
    ASSERT_TRUE(WriteBytes(card() + "/P0001.JPG", PhotoBytes(ShotAt(QDateTime(QDate(2017, 5, 3), QTime(1, 2, 3))))));
    ASSERT_TRUE(WriteBytes(card() + "/P0002.JPG", PhotoBytes(ShotAt(QDateTime(QDate(2017, 5, 4), QTime(1, 2, 3))))));
    ASSERT_TRUE(WriteBytes(out() + "/2017-05-03", "a file in the way"));
    ScanCard();
    ChooseNewFiles(out(), "日期");
    ExportAndWait();
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown[0].startsWith("3:")) << boxes.shown[0].toStdString();
    EXPECT_TRUE(boxes.shown[0].contains("无法创建文件夹 " + out() + "/2017-05-03/"));
    EXPECT_TRUE(boxes.shown[0].contains(QStringLiteral("请不要格式化存储卡")));
    EXPECT_TRUE(boxes.shown[0].endsWith(QStringLiteral("[关闭/重试失败的文件]")));
    EXPECT_EQ(Statuses(), QStringList({QStringLiteral("失败"), QStringLiteral("已校验")}));
    EXPECT_TRUE(Action("RetryFailedExport").isEnabled());

    // The obstacle gone, the retry exports the failed file alone; the other row keeps its word.
    ASSERT_TRUE(QFile::remove(out() + "/2017-05-03"));
    boxes.shown.clear();
    Action("RetryFailedExport").trigger();
    Main().WaitForWorker();
    QApplication::processEvents();
    EXPECT_EQ(Statuses(), QStringList({QStringLiteral("已校验"), QStringLiteral("已校验")}));
    EXPECT_TRUE(QFileInfo::exists(out() + "/2017-05-03/I-20170503010203.JPG"));
    EXPECT_FALSE(Action("RetryFailedExport").isEnabled());
    ASSERT_EQ(boxes.shown.size(), 1);
    EXPECT_TRUE(boxes.shown[0].contains(QStringLiteral("复制并校验 1 个"))) << boxes.shown[0].toStdString();
}

TEST(ExportKill, AKilledExportNeverLeavesAPartialFileUnderAFinalName)
{
    TempFolder folder;
    // The program keeps its settings beside itself: a copy in its own folder touches nothing else.
    const QString program = folder.file("orvek-file");
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORVEK_PROGRAM), program));
    const QString card = folder.path() + "card";
    const QString out = folder.path() + "out";
    QDir().mkpath(card);
    QDir().mkpath(out);
    QFile big(card + "/V0001.MOV");
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(600LL * 1000 * 1000));
    big.write("end");
    big.close();

    QProcess child;
    child.start(program, {"--export", card, out});
    ASSERT_TRUE(child.waitForStarted());
    // Under way: the child holds a file open in the output tree (the copy, not yet named).
    const auto writingIntoOut = [&] {
        const QString fds = QStringLiteral("/proc/%1/fd").arg(child.processId());
        for (const QString& fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            char target[4096];
            const ssize_t length = readlink(QFile::encodeName(fds + "/" + fd).constData(), target, sizeof target);
            if (length > 0 && QFile::decodeName(QByteArray(target, int(length))).startsWith(out + "/"))
                return true;
        }
        return false;
    };
    QElapsedTimer waited;
    waited.start();
    bool underWay = false;
    while (waited.elapsed() < 20000 && child.state() == QProcess::Running && !(underWay = writingIntoOut()))
        QThread::msleep(2);
    ::kill(pid_t(child.processId()), SIGKILL);
    child.waitForFinished();

    // What the killed run leaves is a hidden copy (which the next run removes), never a file
    // under a final name.
    for (const QString& file : FilesBelow(out))
        if (!QFileInfo(file).fileName().startsWith(u'.'))
            EXPECT_EQ(QFileInfo(out + file).size(), big.size()) << file.toStdString() << " is partial";
        else
            EXPECT_TRUE(file.endsWith(".orvek-part")) << file.toStdString();
    EXPECT_TRUE(underWay) << "the copy was under way when it was killed";
}

} // namespace
