#pragma once
// What the program shares while it runs, apart from any window: the settings file and the
// settings value, the catalogue, the location pass, the background worker and the location
// cache. ProgramWindows owns it and makes it before any window; the windows borrow it.

#include "catalogue/Catalogue.h"
#include "catalogue/LocationPass.h"
#include "catalogue/MainWindowState.h"
#include "catalogue/Worker.h"
#include "services/IniFile.h"
#include "services/LocationCache.h"
#include "services/SettingsInfo.h"

#include <QString>
#include <memory>

class ProgramState {
public:
    // Binds Config.dyi and opens (or creates) Cha.mdb in settingsFolder (with trailing "/").
    explicit ProgramState(const QString& settingsFolder);
    // Stops the worker, then lets go of the location pass, the catalogue and the cache.
    ~ProgramState();
    ProgramState(const ProgramState&) = delete;
    ProgramState& operator=(const ProgramState&) = delete;

    IniFile& settingsFile() { return settingsFile_; }
    SettingsStore& settings() { return settings_; }
    Catalogue& catalogue() { return catalogue_; }
    LocationPass& locationPass() { return *locationPass_; }
    // How opening the cache went; the main window reports a failure.
    const CacheOpenResult& cacheOpened() const { return cacheOpened_; }

    WorkerSlot& worker() { return worker_; }

    // What the main window borrows.
    MainWindowState ForMainWindow();

private:
    IniFile settingsFile_;
    SettingsStore settings_;
    Catalogue catalogue_;
    CacheOpenResult cacheOpened_;
    std::unique_ptr<LocationPass> locationPass_;
    WorkerSlot worker_; // last: its task may use everything above
};
