#pragma once
// What the main window borrows from the program's state (app/ProgramState.h owns it all and
// outlives the window).

#include "services/LocationCache.h"

class Catalogue;
class IniFile;
class LocationPass;
class SettingsStore;
class WorkerSlot;

struct MainWindowState {
    IniFile& settingsFile;
    SettingsStore& settings;
    Catalogue& catalogue;
    LocationPass& locationPass;
    WorkerSlot& worker;
    const CacheOpenResult& cacheOpened;
};
