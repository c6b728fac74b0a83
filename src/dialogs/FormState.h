#pragma once
// Saving and restoring the state of a window's persisted controls in the INI store.
// Each control's value lives in a section named after the control, under a key of the same
// name. Only controls of exactly these kinds are persisted: QLineEdit (text), QCheckBox and
// QRadioButton (checked, as 1/0) and QSpinBox (value); subclasses are not.

#include <QList>

class IniFile;
class QRadioButton;
class QWidget;

// Writes the controls in the given order. When the file refuses a write it reports
// "Unable to write to <file>" in the error box, writes nothing more and returns false.
bool SaveFormState(IniFile& file, const QList<QWidget*>& controls);

// Reads the controls in the given order, each with its current state as the default, and
// assigns the values as a user edit would: a changed edit box emits its change signal, a radio
// button that becomes checked unchecks the others of its group and emits clicked.
void LoadFormState(const IniFile& file, const QList<QWidget*>& controls);

// Shows "Unable to write to <file>" in the error box.
void ReportWriteRefused(const IniFile& file);

// Checks or unchecks a radio button as loading does: checking unchecks the others of its group
// and emits clicked; unchecking works even for the checked member of an exclusive group.
void SetRadioChecked(QRadioButton* radio, bool checked);
