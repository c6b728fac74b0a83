#include "services/OfflineGeocoder.h"

#include "services/AppPaths.h"

#include <QFileInfo>
#include <mutex>

namespace {

std::mutex dataMutex;
QString pathOverride;        // guarded by dataMutex
bool loaded = false;         // guarded by dataMutex
OfflinePlaceData sharedData; // guarded by dataMutex

const QString kUnknownPlace = QStringLiteral("未知");

} // namespace

QString PlaceDataPath()
{
    const QString name = QStringLiteral("places.dat");
    const QString beside = ProgramDir() + name;
    const QString installed = ProgramDir() + QStringLiteral("../share/orvek-file/") + name;
    return QFileInfo::exists(beside) || !QFileInfo::exists(installed) ? beside : QFileInfo(installed).absoluteFilePath();
}

OfflinePlaceData SharedPlaceData()
{
    std::lock_guard lock(dataMutex);
    if (!loaded) {
        const QString path = pathOverride.isEmpty() ? PlaceDataPath() : pathOverride;
        sharedData.data = PlaceData::Load(path, sharedData.error);
        loaded = true;
    }
    return sharedData;
}

void SetPlaceDataPath(const QString& path)
{
    std::lock_guard lock(dataMutex);
    pathOverride = path;
    loaded = false;
    sharedData = {};
}

QString OfflinePlaceText(const PlaceData& data, const QString& longitude, const QString& latitude)
{
    bool longitudeOk = false;
    bool latitudeOk = false;
    const double x = longitude.trimmed().toDouble(&longitudeOk);
    const double y = latitude.trimmed().toDouble(&latitudeOk);
    return longitudeOk && latitudeOk ? data.PlaceAt(x, y) : kUnknownPlace;
}

QString GetOfflinePlaceName(const QString& longitude, const QString& latitude)
{
    const OfflinePlaceData shared = SharedPlaceData();
    return shared.data ? OfflinePlaceText(*shared.data, longitude, latitude) : kUnknownPlace;
}
