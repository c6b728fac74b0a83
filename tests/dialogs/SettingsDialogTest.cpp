#include "dialogs/Dialogs.h"
#include "dialogs/SettingsDialog.h"
#include "services/IniFile.h"
#include "services/SettingsInfo.h"

#include "TestFiles.h"
#include "WindowParts.h"

#include <QCheckBox>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>
#include <functional>
#include <memory>

namespace {

const char* const kSavedSections[] = {"Outck1", "Outck2", "OutPath", "CityText", "MorenCity",
                                      "CapImagePath", "Scan1", "Scan2", "Scan3", "ScanTime", "VerifyCopies"};

class SettingsDialogTest : public testing::Test {
protected:
    void TearDown() override
    {
        dialog.reset();
        SetFolderChooser({});
    }

    // The section names of the settings file, in file order.
    QStringList Sections() const
    {
        QStringList names;
        for (const QString& line : ReadTextFile(ini.path()).split(u'\n'))
            if (line.startsWith(u'['))
                names << line.mid(1, line.size() - 2);
        return names;
    }

    // The dialog's parts, by name.
    QLineEdit& Box(const char* name) { return Child<QLineEdit>(*dialog, name); }
    QRadioButton& Choice(const char* name) { return Child<QRadioButton>(*dialog, name); }
    QPushButton& Button(const char* name) { return Child<QPushButton>(*dialog, name); }
    QPushButton& Apply() { return Button("btnyy"); }
    QFrame& HelpBalloon() { return Child<QFrame>(*dialog, "HelpGroup"); }
    QLabel& HelpText() { return Child<QLabel>(*dialog, "HelpLabel"); }

    TempFolder folder;
    IniFile ini{folder.file("Config.dyi")};
    SettingsStore settings;
    std::unique_ptr<TForm2> dialog = std::make_unique<TForm2>(ini, settings);
};

TEST_F(SettingsDialogTest, StartsWithTheDefinitionDefaults)
{
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("设置"));
    EXPECT_EQ(Box("CityText").text(), QStringLiteral("日期/街道"));
    EXPECT_EQ(Box("MorenCity").text(), QStringLiteral("遂宁市/船山区/灵泉街道"));
    EXPECT_TRUE(Choice("Scan1").isChecked());
    EXPECT_FALSE(Choice("Outck1").isChecked() || Choice("Outck2").isChecked());
    EXPECT_FALSE(Apply().isEnabled());
    EXPECT_TRUE(Box("OutPath").isReadOnly() && Box("CapImagePath").isReadOnly());
    EXPECT_FALSE(Box("ScanTime").isReadOnly()) << "the time can be typed";
    EXPECT_EQ(Box("ScanTime").placeholderText(), QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}

TEST_F(SettingsDialogTest, ATypedScanTimeEnablesApplyAndIsSavedWithTheOptions)
{
    Choice("Scan3").click();
    dialog->btnyyClick();
    QTest::keyClicks(&Box("ScanTime"), "2017/05/03 14:00:00");
    EXPECT_TRUE(Apply().isEnabled());
    dialog->btnyyClick();
    EXPECT_EQ(settings.Snapshot()->ScanTime, QStringLiteral("2017/05/03 14:00:00"));
}

TEST_F(SettingsDialogTest, EveryOptionChangeEnablesApplyAndApplySavesAllInOrder)
{
    const std::function<void()> changes[] = {
        [&] { Box("CityText").setText("日期+街道"); },
        [&] { Box("MorenCity").setText("a/b/c"); },
        [&] { Box("OutPath").setText("/out"); },
        [&] { Box("CapImagePath").setText("/caps"); },
        [&] { Choice("Outck2").click(); },
        [&] { Choice("Scan3").click(); },
        [&] { Child<QCheckBox>(*dialog, "VerifyCopies").click(); },
    };
    for (const auto& change : changes) {
        Apply().setEnabled(false);
        change();
        EXPECT_TRUE(Apply().isEnabled());
    }
    Apply().click();
    EXPECT_FALSE(Apply().isEnabled());
    EXPECT_EQ(Sections(), QStringList(std::begin(kSavedSections), std::end(kSavedSections)));
    EXPECT_EQ(ini.ReadString("CityText", "CityText", ""), QStringLiteral("日期+街道"));
    EXPECT_EQ(ini.ReadString("Scan3", "Scan3", ""), QStringLiteral("1"));
    EXPECT_EQ(ini.ReadString("Scan1", "Scan1", ""), QStringLiteral("0"));
}

TEST_F(SettingsDialogTest, ExportModeAndScanModeAreSeparateChoices)
{
    Choice("Outck2").click();
    EXPECT_TRUE(Choice("Scan1").isChecked()) << "choosing an export mode keeps the scan mode";
    Choice("Outck2").click();
    EXPECT_TRUE(Choice("Outck2").isChecked()) << "a second click does not clear the choice";
    Choice("Scan3").click();
    EXPECT_TRUE(Choice("Outck2").isChecked());
    EXPECT_FALSE(Choice("Scan1").isChecked());
    Choice("Outck1").click();
    EXPECT_FALSE(Choice("Outck2").isChecked());
    EXPECT_TRUE(Choice("Scan3").isChecked());
}

TEST_F(SettingsDialogTest, OkSavesOnlyWhenSomethingChanged)
{
    dialog->show();
    Button("btnsure").click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(QFile::exists(ini.path())) << "OK without a change writes nothing";

    dialog->show();
    Box("CityText").setText("城市/日期");
    Button("btnsure").click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(ini.ReadString("CityText", "CityText", ""), QStringLiteral("城市/日期"));
}

TEST_F(SettingsDialogTest, CancelKeepsTheEditInForceAndTheEndOfTheDialogSavesIt)
{
    dialog->show();
    Box("CityText").setText("区县/街道");
    Button("btncancle").click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(Box("CityText").text(), QStringLiteral("区县/街道"));
    EXPECT_FALSE(QFile::exists(ini.path()));

    dialog.reset(); // the program ends
    EXPECT_EQ(ini.ReadString("CityText", "CityText", ""), QStringLiteral("区县/街道"));
    EXPECT_EQ(Sections().size(), 11);
}

TEST_F(SettingsDialogTest, ASettingChosenElsewhereAfterTheDialogClosedSurvivesEveryWayOfClosingIt)
{
    // The capture folder is chosen at 截图 while the dialog is closed and still shows the empty
    // box it was closed with; the end of the program must not copy that box back over it.
    struct Case {
        const char* name;
        std::function<void(TForm2&)> close;
    } cases[] = {
        {"确定", [](TForm2& d) { Child<QPushButton>(d, "btnsure").click(); }},
        {"取消", [](TForm2& d) { Child<QPushButton>(d, "btncancle").click(); }},
        {"the title bar", [](TForm2& d) { d.close(); }},
        {"never opened", [](TForm2&) {}},
    };
    for (const Case& c : cases) {
        TempFolder where;
        IniFile file(where.file("Config.dyi"));
        SettingsStore store;
        auto shown = std::make_unique<TForm2>(file, store);
        if (std::string(c.name) != "never opened") {
            shown->show();
            Child<QLineEdit>(*shown, "CityText").setText("城市/日期"); // an edit of the dialog's own
            c.close(*shown);
            EXPECT_FALSE(shown->isVisible()) << c.name;
            EXPECT_EQ(store.Snapshot()->CityText, QStringLiteral("城市/日期")) << c.name << ": the edit is in force";
        }
        store.Update([](TSetInfo& value) { value.CapImagePath = "/caps"; });
        shown.reset(); // the program ends
        EXPECT_EQ(file.ReadString("CapImagePath", "CapImagePath", ""), QStringLiteral("/caps")) << c.name;
    }
}

TEST_F(SettingsDialogTest, TheControlsShowTheSettingsValueAndOkAndCancelPutThemBack)
{
    settings.Update([](TSetInfo& value) {
        value.CityText = "城市/日期";
        value.Outck1 = true;
        value.Scan1 = false;
        value.Scan2 = true;
        value.CapImagePath = "/caps"; // chosen elsewhere (at a capture)
    });
    dialog->LoadSettings();
    EXPECT_EQ(Box("CityText").text(), QStringLiteral("城市/日期"));
    EXPECT_TRUE(Choice("Outck1").isChecked() && !Choice("Outck2").isChecked());
    EXPECT_TRUE(Choice("Scan2").isChecked() && !Choice("Scan1").isChecked());
    EXPECT_EQ(Box("CapImagePath").text(), QStringLiteral("/caps"));
    EXPECT_FALSE(Apply().isEnabled()) << "showing the value is no change";

    dialog->show();
    Box("MorenCity").setText("甲/乙/丙");
    Button("btncancle").click();
    EXPECT_EQ(settings.Snapshot()->MorenCity, QStringLiteral("甲/乙/丙")) << "in force at once";
    EXPECT_FALSE(QFile::exists(ini.path())) << "saved only at the end";

    dialog->show();
    Choice("Outck2").click();
    Button("btnsure").click();
    EXPECT_TRUE(settings.Snapshot()->Outck2);
    EXPECT_EQ(ini.ReadString("Outck2", "Outck2", ""), QStringLiteral("1"));
}

TEST_F(SettingsDialogTest, FolderButtonsSetTheirBoxesAndACancelledChoiceChangesNothing)
{
    QString answer = folder.path() + "out";
    QStringList prompts, preselections;
    SetFolderChooser([&](const QString& prompt, const QString& preselect) {
        prompts << prompt;
        preselections << preselect;
        return answer;
    });
    Button("Button3").click();
    EXPECT_EQ(Box("OutPath").text(), answer);
    EXPECT_TRUE(Apply().isEnabled());

    Apply().setEnabled(false);
    answer.clear(); // the user cancels
    Button("Button3").click();
    Button("Button1").click();
    EXPECT_EQ(Box("OutPath").text(), folder.path() + "out");
    EXPECT_TRUE(Box("CapImagePath").text().isEmpty());
    EXPECT_FALSE(Apply().isEnabled());

    // The export folder is preselected only when it exists; the capture folder never.
    QDir().mkpath(folder.path() + "out");
    Button("Button3").click();
    Box("OutPath").setText(folder.path() + "out");
    Box("CapImagePath").setText(folder.path());
    Button("Button1").click();
    EXPECT_EQ(prompts, QStringList({"选择导出目录", "选择导出目录", "选择截图文件存储目录", "选择导出目录",
                                    "选择截图文件存储目录"}));
    EXPECT_EQ(preselections, QStringList({"", "", "", folder.path() + "out", ""}));
}

TEST_F(SettingsDialogTest, HelpBalloonSitsOnThePressedButtonAndAClickHidesIt)
{
    dialog->show();
    Child<QToolButton>(*dialog, "RzToolButton2").click();
    EXPECT_TRUE(HelpBalloon().isVisible());
    EXPECT_EQ(HelpBalloon().y(), 57);
    EXPECT_EQ(HelpText().text(), TForm2::kHelpNamingRule);

    QTest::mouseClick(&HelpText(), Qt::LeftButton);
    EXPECT_FALSE(HelpBalloon().isVisible());

    Child<QToolButton>(*dialog, "RzToolButton1").click();
    EXPECT_TRUE(HelpBalloon().isVisible());
    EXPECT_EQ(HelpBalloon().y(), 97);
    EXPECT_EQ(HelpText().text(), TForm2::kHelpDefaultPlace);
    EXPECT_TRUE(TForm2::kHelpDefaultPlace.contains(QStringLiteral("例如:\n\r遂宁市")));
}

TEST_F(SettingsDialogTest, EnterAndEscapeDoNothing)
{
    dialog->show();
    Box("CityText").setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        QTest::keyClick(&Box("CityText"), key);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(Apply().isEnabled());
    EXPECT_FALSE(QFile::exists(ini.path()));
}

TEST_F(SettingsDialogTest, FilesDroppedOnScanTimeShowTheTimeTheyStandFor)
{
    QStringList received;
    dialog->scanTimeOfDrop = [&](const QStringList& paths) {
        received = paths;
        return QStringLiteral("2017/05/03 14:22:10");
    };
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/media/card/P0001.JPG"), QUrl::fromLocalFile("/media/card/V.MP4")});
    // A drag enters the box first, then drops on it.
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Box("ScanTime"), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Box("ScanTime"), &drop);
    EXPECT_EQ(received, QStringList({"/media/card/P0001.JPG", "/media/card/V.MP4"}));
    EXPECT_EQ(Box("ScanTime").text(), QStringLiteral("2017/05/03 14:22:10"));
    EXPECT_FALSE(Apply().isEnabled()) << "a dropped time alone does not enable Apply";
}

} // namespace
