#pragma once
// Which dropped names the catalogue accepts.

#include <QStringList>

// Whether a file name has a catalogue extension: a photo's or a video's (catalogue/MediaNames.h).
bool IsCatalogueMediaName(const QString& name);

// The dropped names to keep, in their order: photos, videos and folders (a folder is walked
// like a scan root). Everything else is left out.
QStringList KeepDroppedNames(const QStringList& names);

// The "指定时间" text that names dropped on it stand for: the creation time of the first photo,
// video or folder among them ("yyyy/MM/dd HH:mm:ss"); empty when none is kept or has a time.
QString ScanTimeOfDrop(const QStringList& names);
