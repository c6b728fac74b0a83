#include "catalogue/DropFilter.h"

#include "catalogue/MediaNames.h"

#include <QFileInfo>

bool IsCatalogueMediaName(const QString& name)
{
    return HasListedExt(name, kScanExtensions);
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
