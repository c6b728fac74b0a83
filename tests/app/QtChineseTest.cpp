// Qt's own texts in the program's language.

#include "app/QtChinese.h"

#include "core/Helpers.h"

#include <QApplication>
#include <QBuffer>
#include <QDialogButtonBox>
#include <QImageReader>
#include <QPushButton>
#include <cerrno>
#include <gtest/gtest.h>

namespace {

TEST(QtChinese, QtsButtonsAndErrorTextsAndOursAreChinese)
{
    ASSERT_TRUE(InstallQtChinese(*qApp)) << "Qt's translations (qt6-translations-l10n) are installed";
    QDialogButtonBox buttons(QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    for (QAbstractButton* button : buttons.buttons()) {
        const QString text = button->text();
        EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2,}")))) << text.toStdString();
    }
    QByteArray notAnImage("this is text");
    QBuffer buffer(&notAnImage);
    QImageReader reader(&buffer);
    EXPECT_TRUE(reader.read().isNull());
    EXPECT_FALSE(reader.errorString().contains(QStringLiteral("Unsupported"))) << reader.errorString().toStdString();

    for (int error : {ENOENT, EACCES, ENOSPC, EROFS, EEXIST})
        EXPECT_FALSE(SystemErrorText(error).contains(QRegularExpression(QStringLiteral("[A-Za-z]{2,}")))) << error;
}

} // namespace
