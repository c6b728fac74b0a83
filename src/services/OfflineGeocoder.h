#pragma once
// The offline reverse geocoder: the place data file beside the program, loaded once on first
// use by whichever thread asks first, and the place text of a position in it.

#include "services/PlaceData.h"

#include <QString>
#include <memory>

// The place data file: "places.dat" in the program's folder, else in the installed data folder
// (share/orvek-file/ beside the program's bin/ folder).
QString PlaceDataPath();

struct OfflinePlaceData {
    std::shared_ptr<const PlaceData> data; // null when the file could not be used
    QString error;                          // why not, a sentence for the status bar
};

// The shared data: loaded on the first call (a fraction of a second), handed out at once later.
OfflinePlaceData SharedPlaceData();

// Uses the file at path from the next call of SharedPlaceData on (tests; empty: the default).
void SetPlaceDataPath(const QString& path);

// The place text of a position given as decimal texts, as GetPlaceName takes them: "未知" when
// a text is not a number or lies out of range.
QString OfflinePlaceText(const PlaceData& data, const QString& longitude, const QString& latitude);

// OfflinePlaceText with the shared data; "未知" when it could not be loaded.
QString GetOfflinePlaceName(const QString& longitude, const QString& latitude);
