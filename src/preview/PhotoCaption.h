#pragma once
// The red line over a previewed photo: its shot time and, when the location cache knows the
// photo's position cell, its place.

#include <QString>

class TExifData;

// The cache key of the photo's position, formed like the location pass forms it from the
// position text the scan writes; empty when the photo has no position.
QString PhotoPlaceKey(const TExifData& exif);

// "yyyy/MM/dd hh:mm:ss place": the place as the list shows it (listPlace; a place the user
// typed too), or while it is still pending the cache's; the shot time alone without either,
// and the place after a space when the photo has no shot time.
QString PhotoCaption(const TExifData& exif, const QString& listPlace = {});
