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
