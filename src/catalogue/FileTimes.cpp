#include "catalogue/FileTimes.h"

#include <QFileInfo>

QDateTime FileCreationTime(const QString& path)
{
    const QFileInfo info(path);
    QDateTime time = info.birthTime();
    if (!time.isValid())
        time = info.metadataChangeTime();
    return time.toLocalTime();
}
