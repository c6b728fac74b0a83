#include "catalogue/DropFilter.h"

#include "catalogue/FileTimes.h"
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

QString ScanTimeOfDrop(const QStringList& names)
{
    const QStringList kept = KeepDroppedNames(names);
    const QDateTime created = kept.isEmpty() ? QDateTime() : FileCreationTime(kept.front());
    return created.isValid() ? created.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss")) : QString();
}
