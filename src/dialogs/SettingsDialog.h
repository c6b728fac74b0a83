#pragma once
// The settings dialog. Every option of the program is the state of one of its controls; the
// rest of the program reads the controls when it needs an option.

#include <QDialog>
#include <QStringList>
#include <functional>

class IniFile;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

class TForm2 : public QDialog {
    Q_OBJECT
public:
    static const QString kHelpDefaultPlace;
    static const QString kHelpNamingRule;

    // settingsFile is where Apply and the dialog's end save the controls; it must outlive the dialog.
    explicit TForm2(IniFile& settingsFile, QWidget* parent = nullptr);
    ~TForm2() override; // saves the controls

    // The persisted controls in the order in which they are saved and loaded.
    QList<QWidget*> persistedControls() const;

    // Files dropped on ScanTime are handed to this function (the main window's drop handler).
    std::function<void(const QStringList& paths)> onScanTimeDrop;

    QGroupBox* GroupBox3;
    QRadioButton* Outck1;
    QRadioButton* Outck2;
    QLineEdit* OutPath;
    QPushButton* Button3;
    QGroupBox* GroupBox4;
    QRadioButton* Scan1;
    QRadioButton* Scan2;
    QRadioButton* Scan3;
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
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowHelp(QToolButton* button, const QString& text);

    IniFile& settingsFile_;
};
