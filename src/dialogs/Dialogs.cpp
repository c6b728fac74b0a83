#include "dialogs/Dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {
MsgBoxHandler msgBoxHandler;
QuestionHandler questionHandler;
FolderChooser folderChooser;

struct BoxLook {
    const char* title;
    QMessageBox::Icon icon;
};
// Titles and icons of the OK-only kinds, indexed by kind.
const BoxLook kBoxLooks[] = {
    {"警告", QMessageBox::Warning},
    {"信息", QMessageBox::Information},
    {"错误", QMessageBox::Critical},
};
} // namespace

void SetMsgBoxHandler(MsgBoxHandler handler) { msgBoxHandler = std::move(handler); }
void SetQuestionHandler(QuestionHandler handler) { questionHandler = std::move(handler); }
void SetFolderChooser(FolderChooser chooser) { folderChooser = std::move(chooser); }

bool MsgBox(const QString& text, unsigned kind)
{
    if (kind > kMsgQuestion)
        return false;
    if (msgBoxHandler)
        return msgBoxHandler(text, kind) && kind == kMsgQuestion;
    if (kind == kMsgQuestion) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("确认"), text, QMessageBox::Yes | QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
    const BoxLook& look = kBoxLooks[kind];
    QMessageBox box(look.icon, QString::fromUtf8(look.title), text, QMessageBox::Ok);
    box.exec();
    return false;
}

int AskQuestion(const QString& text, const QStringList& buttons)
{
    if (buttons.isEmpty())
        return -1;
    if (questionHandler) {
        const int chosen = questionHandler(text, buttons);
        return chosen >= 0 && chosen < buttons.size() ? chosen : 0;
    }
    QMessageBox box(QMessageBox::Question, QStringLiteral("确认"), text);
    QList<QAbstractButton*> added;
    for (const QString& button : buttons)
        added << box.addButton(button, QMessageBox::ActionRole); // one role: the buttons keep their order
    box.setDefaultButton(static_cast<QPushButton*>(added.front()));
    box.setEscapeButton(added.front());
    box.exec();
    const qsizetype chosen = added.indexOf(box.clickedButton());
    return chosen < 0 ? 0 : int(chosen);
}

void ShowStandardError(const QString& text)
{
    MsgBox(text, kMsgError);
}

void ShowInformation(const QString& title, const QString& text)
{
    if (msgBoxHandler) {
        msgBoxHandler(text, kMsgInformation);
        return;
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok);
    box.exec();
}

QString ChooseFolder(QWidget* parent, const QString& prompt, const QString& preselect)
{
    const QString start = (!preselect.isEmpty() && QDir(preselect).exists()) ? preselect : QString();
    if (folderChooser)
        return folderChooser(prompt, start);
    // Read-only hides the dialog's "new folder" button.
    return QFileDialog::getExistingDirectory(parent, prompt, start,
                                             QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly);
}
