#include "services/AboutWindow.h"

#include "resources/Icons.h"
#include "services/Helpers.h"

#include <QHBoxLayout>
#include <QLabel>

TForm5::TForm5(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("关于"));

    auto* picture = new QLabel(this);
    picture->setPixmap(ProgramIcon().pixmap(64, 64));
    VersionLabel = new QLabel(QStringLiteral("ORVEK-FILE\n版本 %1").arg(GetAppVersion()), this);
    VersionLabel->setObjectName(QStringLiteral("VersionLabel"));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(24, 20, 24, 20);
    row->setSpacing(16);
    row->addWidget(picture);
    row->addWidget(VersionLabel);
    setFixedSize(sizeHint());
}
