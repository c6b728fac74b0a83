#include "services/SettingsInfo.h"

#include "services/IniFile.h"

const QString TSetInfo::kFilePathDefault = QStringLiteral("请先选择路径");

namespace {
const QString kFilePathKey = QStringLiteral("FilePath");
}

void TSetInfo::Initial()
{
    FilePath = kFilePathDefault;
}

void TSetInfo::read(const IniFile& file)
{
    Initial();
    FilePath = file.ReadString(kFilePathKey, kFilePathKey, FilePath);
}

bool TSetInfo::save(IniFile& file) const
{
    return file.WriteString(kFilePathKey, kFilePathKey, FilePath);
}
