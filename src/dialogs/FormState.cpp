#include "dialogs/FormState.h"

#include "dialogs/Dialogs.h"
#include "services/IniFile.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>

namespace {

template <class Kind>
Kind* ExactlyA(QWidget* control)
{
    return control->metaObject() == &Kind::staticMetaObject ? static_cast<Kind*>(control) : nullptr;
}

bool SaveOne(IniFile& file, QWidget* control)
{
    const QString name = control->objectName();
    if (auto* edit = ExactlyA<QLineEdit>(control))
        return file.WriteString(name, name, edit->text());
    if (auto* box = ExactlyA<QCheckBox>(control))
        return file.WriteBool(name, name, box->isChecked());
    if (auto* radio = ExactlyA<QRadioButton>(control))
        return file.WriteBool(name, name, radio->isChecked());
    if (auto* spin = ExactlyA<QSpinBox>(control))
        return file.WriteInteger(name, name, spin->value());
    return true; // not a persisted kind
}

void LoadOne(const IniFile& file, QWidget* control)
{
    const QString name = control->objectName();
    if (auto* edit = ExactlyA<QLineEdit>(control)) {
        const QString text = file.ReadString(name, name, edit->text());
        if (text != edit->text())
            edit->setText(text);
    } else if (auto* box = ExactlyA<QCheckBox>(control)) {
        box->setChecked(file.ReadBool(name, name, box->isChecked()));
    } else if (auto* radio = ExactlyA<QRadioButton>(control)) {
        SetRadioChecked(radio, file.ReadBool(name, name, radio->isChecked()));
    } else if (auto* spin = ExactlyA<QSpinBox>(control)) {
        spin->setValue(file.ReadInteger(name, name, spin->value()));
    }
}

} // namespace

void SetRadioChecked(QRadioButton* radio, bool checked)
{
    if (radio->isChecked() == checked)
        return;
    if (checked) {
        radio->setChecked(true); // unchecks the rest of its group
        emit radio->clicked(true);
        return;
    }
    // Qt refuses to uncheck the checked member of an exclusive group; the stored state may
    // still have every member unchecked.
    QButtonGroup* group = radio->group();
    const bool exclusive = group ? group->exclusive() : radio->autoExclusive();
    if (group)
        group->setExclusive(false);
    else
        radio->setAutoExclusive(false);
    radio->setChecked(false);
    if (group)
        group->setExclusive(exclusive);
    else
        radio->setAutoExclusive(exclusive);
}

void ReportWriteRefused(const IniFile& file)
{
    ShowStandardError(QStringLiteral("Unable to write to %1").arg(file.path()));
}

bool SaveFormState(IniFile& file, const QList<QWidget*>& controls)
{
    for (QWidget* control : controls) {
        if (!SaveOne(file, control)) {
            ReportWriteRefused(file);
            return false;
        }
    }
    return true;
}

void LoadFormState(const IniFile& file, const QList<QWidget*>& controls)
{
    for (QWidget* control : controls)
        LoadOne(file, control);
}
