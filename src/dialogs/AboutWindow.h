#pragma once
// The about window: the program's version, the maker's contacts, a short introduction, and the
// manual update check.

#include <QDialog>
#include <memory>

class BackgroundTask;
struct TUPdateInfo;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);

    // Where the update manifest lies (empty when the settings name no update site).
    QString manifestUrl;

    // The manual check: reads the manifest in the background (the window stays usable; closing
    // it ends the check and shows nothing) and says whether another version is there; on "Yes"
    // the updater starts and the program ends.
    void Button1Click();
    void Button2Click() { close(); }
    bool Checking() const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The window's parts; each has its member's name as object name.
    QLabel* VersionLabel;
    QLabel* RightsLabel;
    QGroupBox* ContactBox;
    QLabel* HomePageLabel;
    QLabel* PhoneLabel;
    QLabel* IntroCaption;
    QPlainTextEdit* IntroMemo;
    QPushButton* Button1;
    QPushButton* Button2;

    void ShowCheckResult(const BackgroundTask* from, bool readable, const TUPdateInfo& info);

    std::shared_ptr<BackgroundTask> check_; // the check under way
};
