#pragma once
// The photo preview window: one photo of the catalogue at a time, fitted or at full size, with
// its shot time and cached place in red across the top; buttons and the keys A, D, S and W
// step through the catalogue's photos, switch the size and delete the photo.

#include "preview/CatalogueAccess.h"

#include <QWidget>
#include <functional>

class ImageView;
class QFrame;
class QLabel;
class QPushButton;

class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    CatalogueAccess catalogue;

    // Opens catalogue row index.
    void InitFile(int index);
    // Loads filename into the view and fills IMGdate.
    void ChangeImg();

    QString filename;
    int itemindex = -1;

    void NextImgClick();
    void UpImgClick();
    void Button3Click();
    void Button1Click();
    void YulanimgDblClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The window's parts; each has its member's name as object name.
    QFrame* Panel2;
    ImageView* Yulanimg;
    QLabel* IMGdate;
    QFrame* Panel1;
    QFrame* KongJianGp1;
    QPushButton* UpImg;
    QPushButton* NextImg;
    QPushButton* Button3;
    QPushButton* Button1;

    void Step(int direction);
    void ShowFile(const QString& path);
    void ViewResized();
    QString shownPath_; // the file in the view (also one shown by the list's arrow keys)
    bool centred_ = false;
};
