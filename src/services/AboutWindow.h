#pragma once
// The about window: the program's name and version. The manual update check joins it later.

#include <QDialog>

class QLabel;

class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);

    QLabel* VersionLabel;
};
