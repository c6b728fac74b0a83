#pragma once
// The video window's seek bar: a click puts the thumb where the mouse is, and the bar tells
// where the mouse is while it hovers, so the window can show the time there.

#include <QSlider>

class SeekBar : public QSlider {
    Q_OBJECT
public:
    explicit SeekBar(QWidget* parent = nullptr);

signals:
    void pressedAt(int x);
    void clicked();
    void hoveredAt(int x);
    void entered();
    void left();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool pressed_ = false;
};
