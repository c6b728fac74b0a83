#pragma once
// The program's modal boxes and its folder picker. Tests replace them through the handlers
// below, so that a test can answer a question or pick a folder without a screen.

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// Kinds of MsgBox: warning "警告", information "信息", error "错误", and a Yes/No question.
enum MsgKind : unsigned { kMsgWarning = 0, kMsgInformation = 1, kMsgError = 2, kMsgQuestion = 3 };

// Shows a modal box of the given kind; true only when a question was answered Yes.
// Kinds outside the table show nothing and return false.
bool MsgBox(const QString& text, unsigned kind);

// A question answered with buttons of its own, shown left to right; the first is the default
// and also the answer when the box is closed without a choice (Escape, its close button), so it
// should be the choice that loses nothing. Returns the index of the button chosen.
int AskQuestion(const QString& text, const QStringList& buttons);

// The box for an unexpected error inside a window event (an error box).
void ShowStandardError(const QString& text);

// An information box with its own title (tests see it as an information MsgBox).
void ShowInformation(const QString& title, const QString& text);

// The platform's folder picker, folders only, without a "new folder" button. Returns the
// chosen folder without a trailing "/" (the root keeps it), or empty when cancelled.
// preselect is shown first when it names an existing folder.
QString ChooseFolder(QWidget* parent, const QString& prompt, const QString& preselect);

// Test hooks; an empty function restores the real boxes.
using MsgBoxHandler = std::function<bool(const QString& text, unsigned kind)>;
using QuestionHandler = std::function<int(const QString& text, const QStringList& buttons)>;
using FolderChooser = std::function<QString(const QString& prompt, const QString& preselect)>;
void SetMsgBoxHandler(MsgBoxHandler handler);
void SetQuestionHandler(QuestionHandler handler);
void SetFolderChooser(FolderChooser chooser);
