#pragma once

#include <QDateTime>
#include <QString>

// The creation (birth) time the file system records for path, in local time; where none is
// recorded, the time of the last status change. Invalid for a path that names nothing.
QDateTime FileCreationTime(const QString& path);
