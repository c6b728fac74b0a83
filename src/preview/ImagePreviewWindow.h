#pragma once
// The photo preview window. Created at start-up and kept hidden; its viewer comes later.

#include <QWidget>

class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
};
