// The program's own question box with buttons of its own, as the user sees and answers it.

#include "dialogs/Dialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

TEST(AskQuestion, TheButtonsStandInTheirOrderAndAnyAnswerButAClickIsTheFirst)
{
    const QStringList buttons = {QStringLiteral("继续导出"), QStringLiteral("停止并退出")};
    struct Case {
        const char* name;
        std::function<void(QMessageBox& box, const QList<QPushButton*>& shown)> answer;
        int chosen;
    } cases[] = {
        {"the second clicked", [](QMessageBox&, const QList<QPushButton*>& shown) { shown[1]->click(); }, 1},
        {"the first clicked", [](QMessageBox&, const QList<QPushButton*>& shown) { shown[0]->click(); }, 0},
        {"Enter", [](QMessageBox& box, const QList<QPushButton*>&) { QTest::keyClick(&box, Qt::Key_Return); }, 0},
        {"Escape", [](QMessageBox& box, const QList<QPushButton*>&) { QTest::keyClick(&box, Qt::Key_Escape); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList leftToRight;
        QString title;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->windowTitle();
            QList<QPushButton*> shown = box->findChildren<QPushButton*>();
            std::sort(shown.begin(), shown.end(),
                      [box](QPushButton* a, QPushButton* b) { return a->mapTo(box, QPoint()).x() < b->mapTo(box, QPoint()).x(); });
            for (QPushButton* button : shown)
                leftToRight << button->text();
            if (shown.size() == 2)
                c.answer(*box, shown);
            else
                box->reject(); // ends the box whatever it holds; the expectations below say what was wrong
        });
        EXPECT_EQ(AskQuestion(QStringLiteral("正在导出。"), buttons), c.chosen);
        EXPECT_EQ(leftToRight, buttons);
        EXPECT_EQ(title, QStringLiteral("确认"));
    }
}

} // namespace
