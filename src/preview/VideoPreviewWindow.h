#pragma once
// The video preview window. Created at start-up and kept hidden; its player comes later.

#include <QWidget>

class TForm4 : public QWidget {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
};
