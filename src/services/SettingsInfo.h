#pragma once
// The program's settings as one value: the catalogue root and every option of the settings
// dialog, with their defaults and Config.dyi sections in one table (SettingsInfo.cpp). The
// dialog is one writer of it; everything else reads a snapshot, on any thread, at the moment of
// use.

#include "core/Guarded.h"

#include <QString>
#include <memory>
#include <mutex>

class IniFile;

class TSetInfo {
public:
    // The catalogue root folder; the prompt text until the user chooses a folder.
    QString FilePath;

    // Export: "修改源文件" or "新建文件" under OutPath (neither until the user chooses).
    bool Outck1 = false;
    bool Outck2 = false;
    QString OutPath;
    // The naming rule and the default place of the export.
    QString CityText;
    QString MorenCity;
    // Whether every copy is read back from the disk and compared with its source (校验).
    bool VerifyCopies = true;
    // Where frame captures go.
    QString CapImagePath;
    // Scan mode: all files, today's, or those since ScanTime.
    bool Scan1 = true;
    bool Scan2 = false;
    bool Scan3 = false;
    QString ScanTime;

    static const QString kFilePathDefault;  // "请先选择路径"
    static const QString kCityTextDefault;  // "日期/街道"
    static const QString kMorenCityDefault; // "遂宁市/船山区/灵泉街道"

    TSetInfo() { Initial(); }
    bool operator==(const TSetInfo&) const = default;

    // Every field to its default.
    void Initial();
    // Initial(), then every field from the file, each field's current value as the default.
    void read(const IniFile& file);
    // Writes the dialog's options, in the dialog's order; false when the file refused a write
    // (later fields are not written).
    bool saveOptions(IniFile& file) const;
    // Writes the catalogue root; false when the file refused the write.
    bool save(IniFile& file) const;
};

// The current settings, shared by the threads: a snapshot never changes once handed out; a
// change publishes a new one.
class SettingsStore {
public:
    std::shared_ptr<const TSetInfo> Snapshot() const;
    void Replace(TSetInfo value);
    // Publishes a copy of the current value as changed by change(value).
    template <typename Change>
    void Update(Change change)
    {
        TSetInfo value = *Snapshot();
        change(value);
        Replace(std::move(value));
    }

private:
    TGuarded<std::shared_ptr<const TSetInfo>> current_{std::make_shared<const TSetInfo>()};
};
