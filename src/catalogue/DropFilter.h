#pragma once
// Which dropped names the catalogue accepts.

#include <QStringList>

// Whether a file name has a catalogue extension: a photo's or a video's (catalogue/MediaNames.h).
bool IsCatalogueMediaName(const QString& name);

// The dropped names to keep, in their order: photos, videos and folders (a folder is walked
// like a scan root). Everything else is left out.
QStringList KeepDroppedNames(const QStringList& names);
