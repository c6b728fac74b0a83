#pragma once
// The video preview window. Created at start-up and kept hidden; its player comes later.

#include <QWidget>
#include <functional>

class TForm4 : public QWidget {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);

    // The file path of a catalogue row (the main window's getSourpath).
    std::function<QString(int row)> sourcePathOf;

    // Opens catalogue row index.
    void InitFile(int index);
    int itemindex = -1;
};
