#pragma once
// The dialog that offers a new version or shows a notice. Its content and buttons come with the
// update check; until then it is created at start-up and stays hidden.

#include <QDialog>

class TMyDlg : public QDialog {
    Q_OBJECT
public:
    explicit TMyDlg(QWidget* parent = nullptr);
};
