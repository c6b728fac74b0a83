#include "app/ProgramState.h"

#include "services/Geocoder.h"
#include "services/PlaceResolver.h"

ProgramState::ProgramState(const QString& settingsFolder)
    : settingsFile_(settingsFolder + QStringLiteral("Config.dyi"))
    , cacheOpened_(OpenCacheDb(settingsFolder + QStringLiteral("Cha.mdb")))
{
    SetGeocoderConfig(ReadGeocoderConfig(settingsFile_));
    locationPass_ = std::make_unique<LocationPass>(catalogue_, std::make_unique<PlaceResolver>(CurrentGeocoderConfig().mode));
}

ProgramState::~ProgramState()
{
    worker_.Stop();        // the task may still use the rest
    locationPass_.reset(); // ends a lookup under way
    CloseCacheDb();
}

MainWindowState ProgramState::ForMainWindow()
{
    return {settingsFile_, settings_, catalogue_, *locationPass_, worker_, cacheOpened_};
}
