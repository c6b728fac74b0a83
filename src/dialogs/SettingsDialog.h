#pragma once
// The settings dialog: shows the settings value in its controls and puts them back into it.
// 应用 (Apply) and 确定 (OK, when something changed) store the controls and save the options;
// 取消 (Cancel) stores them without saving, so an edit stays in force until the program ends,
// when the options are saved.

#include <QDialog>
#include <QStringList>
#include <functional>

class IniFile;
class SettingsStore;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QCheckBox;
class QRadioButton;
class QToolButton;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    static const QString kHelpDefaultPlace;
    static const QString kHelpNamingRule;

    // settings is the value the dialog shows and changes; settingsFile is where Apply and the
    // dialog's end save its options. Both must outlive the dialog.
    TForm2(IniFile& settingsFile, SettingsStore& settings, QWidget* parent = nullptr);
    // Saves the settings in force. The controls were stored when the dialog last closed: copying
    // them again here would undo a setting chosen elsewhere since (a capture folder picked at
    // 截图), since they still show what they showed then.
    ~TForm2() override;

    // The controls from the settings value (Apply is disabled afterwards).
    void LoadSettings();
    // The settings value from the controls (nothing is saved).
    void StoreSettings();

    // The time text that files dropped on ScanTime stand for, empty for none (given by the
    // main window, which knows which files count).
    std::function<QString(const QStringList& paths)> scanTimeOfDrop;
    // Files dropped on ScanTime: its text becomes the time they stand for, if any.
    void DropOnScanTime(const QStringList& paths);

    // Handlers.
    void EnableApply(); // the change and click handlers of the persisted controls
    void Button3Click();
    void Button1Click();
    void RzToolButton1Click();
    void RzToolButton2Click();
    void HelpLabelClick();
    void btnyyClick();
    void btnsureClick();
    void btncancleClick();

protected:
    // However the dialog closes (确定, 取消, the title bar's close button) its edits stay in force.
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The window's parts; each has its member's name as object name.
    QGroupBox* GroupBox3;
    QRadioButton* Outck1;
    QRadioButton* Outck2;
    QLineEdit* OutPath;
    QPushButton* Button3;
    QGroupBox* GroupBox4;
    QRadioButton* Scan1;
    QRadioButton* Scan2;
    QRadioButton* Scan3;
    QCheckBox* VerifyCopies; // 校验: each copy read back from the disk before it is named
    QLineEdit* ScanTime;
    QGroupBox* GroupBox1;
    QLabel* StaticText1;
    QLineEdit* CityText;
    QToolButton* RzToolButton2;
    QLabel* StaticText2;
    QLineEdit* MorenCity;
    QToolButton* RzToolButton1;
    QGroupBox* GroupBox2;
    QLabel* StaticText3;
    QLineEdit* CapImagePath;
    QPushButton* Button1;
    QFrame* HelpGroup;
    QLabel* HelpLabel;
    QPushButton* btnsure;
    QPushButton* btnyy;
    QPushButton* btncancle;

    void ShowHelp(QToolButton* button, const QString& text);

    IniFile& settingsFile_;
    SettingsStore& settings_;
};
