#pragma once
// The settings object: the fields the program keeps besides the settings dialog's controls.

#include <QString>

class IniFile;

class TSetInfo {
public:
    // The catalogue root folder; the prompt text until the user chooses a folder.
    QString FilePath;

    static const QString kFilePathDefault; // "请先选择路径"

    // Every field to its default.
    void Initial();
    // Initial(), then every field from the file, each field's current value as the default.
    void read(const IniFile& file);
    // Writes every field; false when the file refused a write (later fields are not written).
    bool save(IniFile& file) const;
};
