#include "preview/VideoPreviewWindow.h"

#include "resources/Icons.h"

TForm4::TForm4(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("视频预览"));
    setWindowIcon(ProgramIcon());
    resize(800, 600);
}

void TForm4::InitFile(int index)
{
    itemindex = index;
    const QString path = sourcePathOf ? sourcePathOf(index) : QString();
    setWindowTitle(QStringLiteral("视频预览 - %1").arg(path.section(u'/', -1)));
}
