#include "dialogs/Dialogs.h"
#include "dialogs/FormState.h"
#include "services/IniFile.h"

#include "MessageBoxes.h"
#include "TestFiles.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// A line edit of a derived kind: not persisted.
class DerivedEdit : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
};

// A window with one control of every kind and two radio groups.
struct SampleWindow {
    QWidget window;
    QWidget groupA{&window};
    QWidget groupB{&window};
    QRadioButton* a1 = Named(new QRadioButton(&groupA), "A1");
    QRadioButton* a2 = Named(new QRadioButton(&groupA), "A2");
    QRadioButton* b1 = Named(new QRadioButton(&groupB), "B1");
    QRadioButton* b2 = Named(new QRadioButton(&groupB), "B2");
    QLineEdit* edit = Named(new QLineEdit(QStringLiteral("start"), &window), "Edit");
    QCheckBox* check = Named(new QCheckBox(&window), "Check");
    QSpinBox* spin = Named(new QSpinBox(&window), "Spin");
    DerivedEdit* derived = Named(new DerivedEdit(QStringLiteral("derived"), &window), "Derived");

    SampleWindow()
    {
        b1->setChecked(true);
        spin->setRange(-100, 100);
    }
    QList<QWidget*> controls() const { return {a1, a2, b1, b2, edit, check, spin, derived}; }

    template <class T>
    static T* Named(T* control, const char* name)
    {
        control->setObjectName(QString::fromLatin1(name));
        return control;
    }
};

class FormStateTest : public testing::Test {
protected:
    TempFolder folder;
    IniFile ini{folder.file("Config.dyi")};
};

TEST_F(FormStateTest, SavesExactKindsInOrderWithTheirValueForms)
{
    SampleWindow w;
    w.a2->setChecked(true);
    w.edit->setText("文本");
    w.check->setChecked(true);
    w.spin->setValue(-5);
    ASSERT_TRUE(SaveFormState(ini, w.controls()));
    EXPECT_EQ(ReadTextFile(ini.path()), QStringLiteral("[A1]\nA1=0\n[A2]\nA2=1\n[B1]\nB1=1\n[B2]\nB2=0\n"
                                                       "[Edit]\nEdit=文本\n[Check]\nCheck=1\n[Spin]\nSpin=-5\n"));
}

TEST_F(FormStateTest, LoadingSetsValuesAsAUserWould)
{
    WriteTextFile(ini.path(), "[A1]\nA1=1\n[A2]\nA2=1\n[B1]\nB1=0\n[B2]\nB2=1\n[Edit]\nEdit=new\n"
                              "[Check]\nCheck=yes\n[Spin]\nSpin=0x20\n[Derived]\nDerived=changed\n");
    SampleWindow w;
    QSignalSpy a1Clicks(w.a1, &QRadioButton::clicked);
    QSignalSpy a2Clicks(w.a2, &QRadioButton::clicked);
    QSignalSpy b2Clicks(w.b2, &QRadioButton::clicked);
    QSignalSpy editChanges(w.edit, &QLineEdit::textChanged);

    LoadFormState(ini, w.controls());

    // Both A buttons hold 1: they are set in order, so the later one ends checked.
    EXPECT_FALSE(w.a1->isChecked());
    EXPECT_TRUE(w.a2->isChecked());
    EXPECT_EQ(a1Clicks.count(), 1);
    EXPECT_EQ(a2Clicks.count(), 1);
    EXPECT_FALSE(w.b1->isChecked());
    EXPECT_TRUE(w.b2->isChecked());
    EXPECT_EQ(b2Clicks.count(), 1);
    EXPECT_EQ(w.edit->text(), QStringLiteral("new"));
    EXPECT_EQ(editChanges.count(), 1);
    EXPECT_FALSE(w.check->isChecked()); // "yes" is not an integer: the current state stays
    EXPECT_EQ(w.spin->value(), 32);
    EXPECT_EQ(w.derived->text(), QStringLiteral("derived")); // derived kinds are not persisted
}

TEST_F(FormStateTest, LoadingWhatAControlAlreadyHoldsFiresNothing)
{
    WriteTextFile(ini.path(), "[B1]\nB1=1\n[Edit]\nEdit=start\n");
    SampleWindow w;
    QSignalSpy b1Clicks(w.b1, &QRadioButton::clicked);
    QSignalSpy editChanges(w.edit, &QLineEdit::textChanged);
    LoadFormState(ini, w.controls());
    EXPECT_EQ(b1Clicks.count(), 0);
    EXPECT_EQ(editChanges.count(), 0);
}

TEST_F(FormStateTest, AStoredStateWithNoMemberCheckedIsRestored)
{
    WriteTextFile(ini.path(), "[B1]\nB1=0\n[B2]\nB2=0\n");
    SampleWindow w;
    LoadFormState(ini, w.controls());
    EXPECT_FALSE(w.b1->isChecked());
    EXPECT_FALSE(w.b2->isChecked());
    w.b2->click(); // the group still behaves as a group afterwards
    w.b1->click();
    EXPECT_FALSE(w.b2->isChecked());
}

TEST_F(FormStateTest, ARefusedWriteIsReportedAndStopsTheSave)
{
    MessageBoxRecorder boxes;
    IniFile nowhere(folder.file("missing/Config.dyi"));
    SampleWindow w;
    EXPECT_FALSE(SaveFormState(nowhere, w.controls()));
    EXPECT_EQ(boxes.shown, QStringList({QStringLiteral("2:Unable to write to %1").arg(nowhere.path())}))
        << "reported once, then the rest is not tried";
}

} // namespace

#include "FormStateTest.moc"
