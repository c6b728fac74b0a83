#include "preview/ImagePreviewWindow.h"

#include "catalogue/MediaNames.h"

#include "dialogs/Dialogs.h"
#include "metadata/ExifData.h"
#include "preview/ButtonBar.h"
#include "preview/ImageView.h"
#include "preview/JpegDecoder.h"
#include "preview/PhotoCaption.h"
#include "resources/Icons.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
const QString kFullSizeCaption = QStringLiteral("原图显示(S)");
const QString kFittedCaption = QStringLiteral("最佳显示(S)");
const QString kTitle = QStringLiteral("图片预览");
} // namespace

TForm3::TForm3(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(kTitle);
    setWindowIcon(ProgramIcon());
    // FormCreate: 70 % of the screen's width and 75 % of its height.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        resize(int(screen->size().width() * 0.7), int(screen->size().height() * 0.75));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameShape(QFrame::Box);
    Panel2->setFocusPolicy(Qt::StrongFocus);
    auto* viewLayout = new QVBoxLayout(Panel2);
    viewLayout->setContentsMargins(1, 1, 1, 1);
    Yulanimg = new ImageView(Panel2);
    Yulanimg->setObjectName(QStringLiteral("Yulanimg"));
    Yulanimg->setFocusPolicy(Qt::NoFocus);
    viewLayout->addWidget(Yulanimg);
    layout->addWidget(Panel2, 1);

    IMGdate = new QLabel(QStringLiteral("IMGlocation"), Yulanimg->viewport());
    IMGdate->setObjectName(QStringLiteral("IMGdate"));
    IMGdate->setAlignment(Qt::AlignCenter);
    IMGdate->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Red on a dark band: readable on a bright sky, a dark photo and in the 1:1 view alike.
    IMGdate->setStyleSheet(QStringLiteral("color: #ff5a5a; background: rgba(0, 0, 0, 200);"));
    QFont captionFont = IMGdate->font();
    captionFont.setPixelSize(13);
    IMGdate->setFont(captionFont);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(36);
    auto* barLayout = new QHBoxLayout(Panel1);
    barLayout->setContentsMargins(0, 0, 0, 0);
    ButtonBar bar(Panel1, "KongJianGp1", QSize(371, 29), QMargins(3, 2, 3, 2), Panel2);
    KongJianGp1 = bar.Panel();
    UpImg = bar.AddButton("UpImg", QStringLiteral("上个(A)"), [this] { UpImgClick(); });
    NextImg = bar.AddButton("NextImg", QStringLiteral("下个(D)"), [this] { NextImgClick(); });
    Button3 = bar.AddButton("Button3", QStringLiteral("删除(W)"), [this] { Button3Click(); });
    Button1 = bar.AddButton("Button1", kFullSizeCaption, [this] { Button1Click(); });
    barLayout->addStretch(1);
    barLayout->addWidget(KongJianGp1);
    barLayout->addStretch(1);
    layout->addWidget(Panel1);

    connect(Yulanimg, &ImageView::doubleClicked, this, &TForm3::YulanimgDblClick);
    connect(Yulanimg, &ImageView::resized, this, &TForm3::ViewResized);
}

void TForm3::InitFile(int index)
{
    filename = catalogue.sourcePathOf ? catalogue.sourcePathOf(index) : QString();
    itemindex = index;
    setWindowTitle(filename.isEmpty() ? kTitle : filename);
    ChangeImg();
}

void TForm3::ShowFile(const QString& path)
{
    // A fitted picture needs no more pixels than the view has: the codec can decode it smaller.
    const QSize area = Yulanimg->mode() == ImageView::Mode::Fitted ? Yulanimg->viewport()->size() : QSize();
    const DecodedPhoto photo = DecodePhoto(path, area);
    shownPath_ = path;
    if (photo.image.isNull())
        Yulanimg->setMessage(photo.error);
    else
        Yulanimg->setImage(photo.image, photo.fullSize);
}

void TForm3::ViewResized()
{
    IMGdate->setGeometry(0, 4, Yulanimg->viewport()->width(), 22);
    // A picture decoded small for a smaller view is decoded again when the view has grown
    // past what it can show.
    const QImage& image = Yulanimg->image();
    if (shownPath_.isEmpty() || image.isNull() || Yulanimg->mode() != ImageView::Mode::Fitted
        || image.size() == Yulanimg->naturalSize())
        return;
    const QSize needed = Yulanimg->pictureRect().size();
    if (needed.width() > image.width() || needed.height() > image.height())
        ShowFile(shownPath_);
}

void TForm3::ChangeImg()
{
    ShowFile(filename);
    TExifData exif;
    const ExifLoadResult loaded = exif.LoadFromGraphic(filename);
    const QString listPlace = catalogue.placeOf ? catalogue.placeOf(itemindex) : QString();
    IMGdate->setText(loaded.ok ? PhotoCaption(exif, listPlace) : QString());
    IMGdate->raise();
}

void TForm3::Step(int direction)
{
    catalogue.StepTo(kPhotoExtensions, itemindex, direction, true, [this](int row) { InitFile(row); });
}

void TForm3::NextImgClick() { Step(1); }
void TForm3::UpImgClick() { Step(0); }

void TForm3::Button3Click()
{
    if (filename.isEmpty() || !MsgBox(QStringLiteral("确定删除 %1?").arg(QFileInfo(filename).fileName()), kMsgQuestion))
        return;
    Yulanimg->clear();
    // The photo with its RAW twin, as the list's delete does: a twin left behind would never be
    // listed or exported again. A file that cannot be deleted still leaves the list.
    CompanionFinder().RemoveWithCompanions(filename);
    // The next photo at or after the deleted row's place (wrapping round), so that neither a
    // video row nor the end of the list comes up here.
    if (!catalogue.OpenAfterRemoval(kPhotoExtensions, itemindex, true, [this](int row) { InitFile(row); })) {
        filename.clear();
        shownPath_.clear();
        itemindex = -1;
        setWindowTitle(kTitle);
        IMGdate->clear();
        Yulanimg->setMessage(QStringLiteral("列表中已没有图片"));
    }
}

void TForm3::Button1Click()
{
    const bool toFull = Yulanimg->mode() == ImageView::Mode::Fitted;
    Yulanimg->setMode(toFull ? ImageView::Mode::FullSize : ImageView::Mode::Fitted);
    Button1->setText(toFull ? kFittedCaption : kFullSizeCaption);
    if (!filename.isEmpty())
        ShowFile(filename); // full size decodes the picture in full
}

void TForm3::YulanimgDblClick()
{
    if (windowState() == Qt::WindowNoState)
        showMaximized();
    else
        showNormal();
}

void TForm3::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_A: UpImg->click(); break;
    case Qt::Key_D: NextImg->click(); break;
    case Qt::Key_S: Button1->click(); break;
    case Qt::Key_W: Button3->click(); break;
    case Qt::Key_Escape: close(); break;
    default: QWidget::keyPressEvent(event); return;
    }
}

void TForm3::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}
