#pragma once
// Stands in for the program's message boxes while a test runs: remembers every box shown, as
// "kind:text" and as its text alone, and answers Yes to the questions `yes` accepts (none unless
// set). A question with buttons of its own is remembered as "3:text [first/second]" and answered
// with the button `choose` names (the first, the default, unless set). The real boxes come back
// when the recorder goes.

#include "dialogs/Dialogs.h"

#include <QStringList>
#include <functional>

class MessageBoxRecorder {
public:
    MessageBoxRecorder()
    {
        SetMsgBoxHandler([this](const QString& text, unsigned kind) {
            shown << QStringLiteral("%1:%2").arg(kind).arg(text);
            texts << text;
            return kind == kMsgQuestion && yes && yes(text);
        });
        SetQuestionHandler([this](const QString& text, const QStringList& buttons) {
            shown << QStringLiteral("%1:%2 [%3]").arg(kMsgQuestion).arg(text, buttons.join(u'/'));
            texts << text;
            return choose ? int(buttons.indexOf(choose(text))) : 0;
        });
    }
    ~MessageBoxRecorder()
    {
        SetMsgBoxHandler({});
        SetQuestionHandler({});
    }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void Clear()
    {
        shown.clear();
        texts.clear();
    }

    QStringList shown; // "kind:text", in order
    QStringList texts; // the texts alone
    std::function<bool(const QString& text)> yes;
    std::function<QString(const QString& text)> choose; // the button to press
};
