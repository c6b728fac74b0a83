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
