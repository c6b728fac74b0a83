#pragma once
// The photo preview window. Created at start-up and kept hidden; its viewer comes later.

#include <QWidget>
#include <functional>

class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    // The file path of a catalogue row (the main window's getSourpath).
    std::function<QString(int row)> sourcePathOf;

    // Opens catalogue row index.
    void InitFile(int index);
    int itemindex = -1;
    // Shows a picture file without changing the row (the main window's arrow keys).
    void ShowPictureFile(const QString& path);
};
