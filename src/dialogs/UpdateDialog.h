#pragma once
// The dialog that offers a new version (three buttons, or only "立即更新" with a countdown when
// the running version is no longer supported) or shows a notice with a counting "OK". Created
// at start-up, hidden, and refilled for every showing.

#include "services/UpdateManifest.h"

#include <QDialog>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

class TMyDlg : public QDialog {
    Q_OBJECT
public:
    using AnswerCallback = std::function<void(FrmDlgRet answer, const TIdandNr& content)>;

    static constexpr int kForcedUpdateSeconds = 20;

    explicit TMyDlg(QWidget* parent = nullptr);

    // Fills the dialog for type and content and shows it modally; returns once it has closed.
    // onAnswer gets the button the user pressed (nothing when a notice closes by itself).
    // Throws ConversionError, before anything is shown, when the running or the lowest
    // supported version, or the notice's time-out, is not a number.
    void InitDlg(TfrmdlgType type, const TIdandNr& content, AnswerCallback onAnswer);

    // Appends the lines of a "#"-separated text to memo.
    static void FillMemo(const QString& text, QPlainTextEdit* memo);

    // Seconds left on the countdown of a forced update or a notice.
    int LeaveCount() const { return leaveCount_; }

    void LeaveTimerTimer();
    void BtnUpdateClick() { Answer(ctKUpdate); }
    void BtnCancleClick() { Answer(ctKCancle); }
    void BtnNextTipClick() { Answer(ctKNextTip); }
    void BtnOKClick();

public slots:
    void done(int result) override;
    // Escape does not close the dialog: it ends with one of its buttons or its countdown.
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The window's parts; each has its member's name as object name.
    QLabel* Image1;
    QLabel* Image2;
    QPlainTextEdit* Memo1;
    QWidget* Panel1;
    QPushButton* BtnUpdate;
    QPushButton* BtnCancle;
    QPushButton* BtnNextTip;
    QPushButton* BtnOK;
    QTimer* LeaveTimer;

    void Answer(FrmDlgRet answer);
    // The left edge that puts a button's centre at quarter/4 of the panel's width.
    static int ButtonLeft(int panelWidth, int buttonWidth, int quarter);

    TfrmdlgType type_ = ctUpdate;
    TIdandNr content_;
    AnswerCallback onAnswer_;
    int leaveCount_ = 0;
};
