#include "preview/ImagePreviewWindow.h"

#include "resources/Icons.h"

TForm3::TForm3(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("图片预览"));
    setWindowIcon(ProgramIcon());
    resize(800, 600);
}

void TForm3::InitFile(int index)
{
    itemindex = index;
    const QString path = sourcePathOf ? sourcePathOf(index) : QString();
    setWindowTitle(QStringLiteral("图片预览 - %1").arg(path.section(u'/', -1)));
}

void TForm3::ShowPictureFile(const QString& path)
{
    setWindowTitle(QStringLiteral("图片预览 - %1").arg(path.section(u'/', -1)));
}
