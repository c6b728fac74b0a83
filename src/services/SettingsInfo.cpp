#include "services/SettingsInfo.h"

#include "services/IniFile.h"

#include <variant>

const QString TSetInfo::kFilePathDefault = QStringLiteral("请先选择路径");
const QString TSetInfo::kCityTextDefault = QStringLiteral("日期/街道");
const QString TSetInfo::kMorenCityDefault = QStringLiteral("遂宁市/船山区/灵泉街道");

namespace {

// One field of the settings: its Config.dyi section (which is also its key), its default, and
// where it lives in the value. Flags are written "1" and "0".
struct Field {
    const char* section;
    std::variant<QString TSetInfo::*, bool TSetInfo::*> member;
    std::variant<QString, bool> defaultValue;
};

// The dialog's options, in the order the dialog saves them.
const Field kOptions[] = {
    {"Outck1", &TSetInfo::Outck1, false},
    {"Outck2", &TSetInfo::Outck2, false},
    {"OutPath", &TSetInfo::OutPath, QString()},
    {"CityText", &TSetInfo::CityText, TSetInfo::kCityTextDefault},
    {"MorenCity", &TSetInfo::MorenCity, TSetInfo::kMorenCityDefault},
    {"CapImagePath", &TSetInfo::CapImagePath, QString()},
    {"Scan1", &TSetInfo::Scan1, true},
    {"Scan2", &TSetInfo::Scan2, false},
    {"Scan3", &TSetInfo::Scan3, false},
    {"ScanTime", &TSetInfo::ScanTime, QString()},
    {"VerifyCopies", &TSetInfo::VerifyCopies, true},
};
const Field kRoot = {"FilePath", &TSetInfo::FilePath, TSetInfo::kFilePathDefault};

void SetDefault(TSetInfo& info, const Field& field)
{
    if (const auto* text = std::get_if<QString TSetInfo::*>(&field.member))
        info.*(*text) = std::get<QString>(field.defaultValue);
    else
        info.*std::get<bool TSetInfo::*>(field.member) = std::get<bool>(field.defaultValue);
}

void Read(TSetInfo& info, const IniFile& file, const Field& field)
{
    const QString section = QString::fromLatin1(field.section);
    if (const auto* text = std::get_if<QString TSetInfo::*>(&field.member))
        info.*(*text) = file.ReadString(section, section, info.*(*text));
    else
        info.*std::get<bool TSetInfo::*>(field.member) =
            file.ReadBool(section, section, info.*std::get<bool TSetInfo::*>(field.member));
}

bool Write(const TSetInfo& info, IniFile& file, const Field& field)
{
    const QString section = QString::fromLatin1(field.section);
    if (const auto* text = std::get_if<QString TSetInfo::*>(&field.member))
        return file.WriteString(section, section, info.*(*text));
    return file.WriteBool(section, section, info.*std::get<bool TSetInfo::*>(field.member));
}

} // namespace

void TSetInfo::Initial()
{
    for (const Field& field : kOptions)
        SetDefault(*this, field);
    SetDefault(*this, kRoot);
}

void TSetInfo::read(const IniFile& file)
{
    Initial();
    for (const Field& field : kOptions)
        Read(*this, file, field);
    Read(*this, file, kRoot);
}

bool TSetInfo::saveOptions(IniFile& file) const
{
    for (const Field& field : kOptions)
        if (!Write(*this, file, field))
            return false;
    return true;
}

bool TSetInfo::save(IniFile& file) const
{
    return Write(*this, file, kRoot);
}

std::shared_ptr<const TSetInfo> SettingsStore::Snapshot() const
{
    return current_;
}

void SettingsStore::Replace(TSetInfo value)
{
    current_ = std::make_shared<const TSetInfo>(std::move(value));
}
