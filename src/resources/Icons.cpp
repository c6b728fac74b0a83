#include "resources/Icons.h"

#include <QPainter>
#include <QPolygonF>
#include <QPixmap>
#include <functional>
#include <map>

namespace {

// One palette for every picture.
const QColor kInk(0x33, 0x3d, 0x4a);
const QColor kBlue(0x2f, 0x7c, 0xd6);
const QColor kAmber(0xf2, 0xb1, 0x34);
const QColor kGreen(0x2e, 0xa0, 0x5a);
const QColor kRed(0xd6, 0x45, 0x3d);
const QColor kGrey(0xa0, 0xa6, 0xae);

using Drawing = std::function<void(QPainter&)>;

// Renders a drawing made on a 16 x 16 grid at 16 and 32 pixels.
// The drawing, made on a grid of grid x grid units, at size x size pixels.
QImage RenderImage(const Drawing& draw, int size, int grid = 16)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / double(grid), size / double(grid));
    draw(p);
    p.end();
    return image;
}

QIcon RenderIcon(const Drawing& draw, int grid = 16)
{
    QIcon icon;
    for (int size : {16, 32, 64})
        icon.addPixmap(QPixmap::fromImage(RenderImage(draw, size, grid)));
    return icon;
}

QPen Outline(const QColor& c, double width = 1.0)
{
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void DrawOpenFolder(QPainter& p)
{
    p.setPen(Outline(kAmber.darker(140)));
    p.setBrush(kAmber.darker(110));
    p.drawPolygon(QPolygonF({{1.5, 3.5}, {6, 3.5}, {7.5, 5}, {13.5, 5}, {13.5, 13.5}, {1.5, 13.5}}));
    p.setBrush(kAmber);
    p.drawPolygon(QPolygonF({{3.5, 7.5}, {15, 7.5}, {13.5, 13.5}, {1.5, 13.5}}));
}

void DrawScan(QPainter& p)
{
    p.setPen(Outline(kInk, 1.6));
    p.setBrush(QColor(0xdd, 0xea, 0xf8));
    p.drawEllipse(QPointF(6.5, 6.5), 4.3, 4.3);
    p.setPen(Outline(kBlue, 2.4));
    p.drawLine(QPointF(9.8, 9.8), QPointF(14, 14));
}

void DrawTray(QPainter& p)
{
    p.setPen(Outline(kInk, 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({{1.5, 9}, {1.5, 14}, {14.5, 14}, {14.5, 9}}));
}

void DrawExport(QPainter& p)
{
    DrawTray(p);
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF({{8, 1}, {12.5, 5.5}, {9.5, 5.5}, {9.5, 11}, {6.5, 11}, {6.5, 5.5}, {3.5, 5.5}}));
}

void DrawExportRunning(QPainter& p)
{
    DrawTray(p);
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawRoundedRect(QRectF(4, 2, 8, 8), 1.5, 1.5);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6.5, 4.5, 3, 3));
}

void DrawSettings(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.translate(8, 8);
    for (int i = 0; i < 8; ++i) {
        p.drawRoundedRect(QRectF(-1.4, -7.2, 2.8, 3.5), 0.6, 0.6);
        p.rotate(45);
    }
    p.drawEllipse(QPointF(0, 0), 5.2, 5.2);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(0, 0), 2.2, 2.2);
}

void DrawExit(QPainter& p)
{
    p.setPen(Outline(kRed, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5, 3, 11, 11), 120 * 16, 300 * 16);
    p.drawLine(QPointF(8, 1.5), QPointF(8, 7.5));
}

void DrawPhotoRow(QPainter& p)
{
    p.setPen(Outline(kInk));
    p.setBrush(QColor(0xdd, 0xea, 0xf8));
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 1.2, 1.2);
    p.setPen(Qt::NoPen);
    p.setBrush(kAmber);
    p.drawEllipse(QPointF(10.8, 5.8), 1.5, 1.5);
    p.setBrush(kGreen);
    p.drawPolygon(QPolygonF({{2, 13}, {6, 7}, {9, 10.5}, {10.5, 9}, {14, 13}}));
}

void DrawVideoRow(QPainter& p)
{
    p.setPen(Outline(kInk));
    p.setBrush(kBlue);
    p.drawRoundedRect(QRectF(1.5, 4, 9.5, 8), 1.4, 1.4);
    p.drawPolygon(QPolygonF({{11, 7}, {14.5, 4.8}, {14.5, 11.2}, {11, 9}}));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({{5, 6}, {8.5, 8}, {5, 10}}));
}

void DrawHelp(QPainter& p, const QColor& colour)
{
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    QFont font;
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
}

void DrawDrone(QPainter& p)
{
    // Four arms with rotors around a body, with a camera dot at the front.
    p.setPen(Outline(kInk, 1.3));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
    p.setBrush(QColor(0xdd, 0xea, 0xf8));
    p.setPen(Outline(kBlue, 0.9));
    for (QPointF c : {QPointF(3.6, 3.6), QPointF(12.4, 3.6), QPointF(3.6, 12.4), QPointF(12.4, 12.4)})
        p.drawEllipse(c, 2.8, 2.8);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(5.5, 5.5, 5, 5), 1.5, 1.5);
    p.setBrush(kAmber);
    p.drawEllipse(QPointF(8, 9.3), 1.1, 1.1);
}

void DrawUpdate(QPainter& p)
{
    // A blue disc with a white arrow pointing up.
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF({{8, 3.2}, {12.2, 7.6}, {9.6, 7.6}, {9.6, 12.4}, {6.4, 12.4}, {6.4, 7.6}, {3.8, 7.6}}));
}

void DrawNotice(QPainter& p)
{
    // An amber bell.
    p.setPen(Outline(kAmber.darker(150), 0.8));
    p.setBrush(kAmber);
    p.drawPolygon(QPolygonF({{8, 1.8}, {11.2, 4}, {12, 10}, {14, 12.2}, {2, 12.2}, {4, 10}, {4.8, 4}}));
    p.setBrush(kAmber.darker(150));
    p.drawEllipse(QPointF(8, 13.6), 1.5, 1.5);
}

} // namespace

QIcon ImageListIcon(int index)
{
    static const std::map<int, Drawing> kPictures = {
        {kImgOpenFolder, DrawOpenFolder},
        {kImgScan, DrawScan},
        {kImgExport, DrawExport},
        {kImgExportRunning, DrawExportRunning},
        {kImgSettings, DrawSettings},
        {kImgExit, DrawExit},
        {kImgPhotoRow, DrawPhotoRow},
        {kImgVideoRow, DrawVideoRow},
        {kImgHelp, [](QPainter& p) { DrawHelp(p, kBlue); }},
        {kImgHelpDisabled, [](QPainter& p) { DrawHelp(p, kGrey); }},
    };
    // Rendered once: the list asks for a row's picture every time it paints the row.
    static std::map<int, QIcon> rendered;
    if (const auto done = rendered.find(index); done != rendered.end())
        return done->second;
    const auto picture = kPictures.find(index);
    if (picture == kPictures.end())
        return {};
    return rendered[index] = RenderIcon(picture->second);
}

QIcon ProgramIcon()
{
    return RenderIcon(DrawDrone);
}

QImage ProgramIconImage(int size)
{
    return RenderImage(DrawDrone, size);
}

QIcon UpdateIcon()
{
    return RenderIcon(DrawUpdate);
}

QIcon NoticeIcon()
{
    return RenderIcon(DrawNotice);
}
