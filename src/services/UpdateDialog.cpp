#include "services/UpdateDialog.h"

TMyDlg::TMyDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("MyDlg"));
    setWindowTitle(QStringLiteral("ORVEK-FILE"));
}
