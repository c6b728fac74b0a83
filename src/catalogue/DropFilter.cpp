#include "catalogue/DropFilter.h"

#include "core/Helpers.h"

#include <QFileInfo>

namespace {
const QLatin1String kMediaExtensions[] = {QLatin1String(".jpg"), QLatin1String(".mp4"), QLatin1String(".mov")};
}

bool IsCatalogueMediaName(const QString& name)
{
    const QString lowered = LowerAsciiLetters(name);
    for (const QLatin1String& extension : kMediaExtensions)
        if (lowered.endsWith(extension))
            return true;
    return false;
}

QStringList KeepDroppedNames(const QStringList& names)
{
    QStringList kept;
    for (const QString& name : names) {
        const QFileInfo info(name);
        if (info.isDir() || (info.isFile() && IsCatalogueMediaName(info.fileName())))
            kept << name;
    }
    return kept;
}
