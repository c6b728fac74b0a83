#pragma once
// The program's INI store: one file, read on every call and rewritten whole on every write.
// Section and key names compare without regard to ASCII case; sections and keys keep the order
// in which they were first written. The file is UTF-8.

#include <QString>

class IniFile {
public:
    // Longest value a read returns, in UTF-16 code units.
    static constexpr qsizetype kMaxValueChars = 2047;

    explicit IniFile(QString path);

    const QString& path() const { return path_; }

    // The value of key in section, or defaultValue when the file, section or key is missing.
    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    // An integer value (decimal or "0x" hexadecimal); defaultValue when missing or not an integer.
    qint32 ReadInteger(const QString& section, const QString& key, qint32 defaultValue) const;
    // A boolean stored as an integer, true when not 0; defaultValue when missing or not an integer.
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;

    // Stores a value; false when the file cannot be written (nothing is changed then).
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool WriteInteger(const QString& section, const QString& key, qint32 value);
    bool WriteBool(const QString& section, const QString& key, bool value);

private:
    QString path_;
};
