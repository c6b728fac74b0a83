// Feeds arbitrary bytes to the text splitter and to the INI reader and writer: nothing may
// crash, and a value written must read back as written (line breaks become spaces, and a read
// returns at most 2047 characters).

#include "core/Helpers.h"
#include "services/IniFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    std::array<QString, 4> pieces;
    for (QChar separator : {u',', u'/', u' ', u'|'})
        SplitStr(text, pieces, separator);

    static QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/Config.dyi");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    }
    IniFile ini(path);
    ini.ReadString(QStringLiteral("CityText"), QStringLiteral("CityText"), QString());
    ini.ReadInteger(QStringLiteral("Scan1"), QStringLiteral("Scan1"), 0);

    QString value = text.left(IniFile::kMaxValueChars);
    if (!value.isEmpty() && value.back().isHighSurrogate())
        value.chop(1);
    value.replace(u'\r', u' ').replace(u'\n', u' ');
    if (ini.WriteString(QStringLiteral("Fuzz"), QStringLiteral("Fuzz"), value)
        && ini.ReadString(QStringLiteral("Fuzz"), QStringLiteral("Fuzz"), QString()) != value)
        std::abort();
    return 0;
}
