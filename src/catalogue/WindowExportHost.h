#pragma once
// The export's view of the main window's list, for the export task on the worker thread: rows
// are read, shown and given their status on the UI thread, where the list lives; the settings
// are a snapshot of the moment, read where the task runs.

#include "catalogue/ExportTask.h"

#include <QHash>
#include <functional>
#include <optional>

class Catalogue;
class SettingsStore;

class WindowExportHost : public ExportHost {
public:
    // showRow scrolls the list to a row (the export shows the row it is at); placesComing tells
    // whether the location pass is running.
    // onlyKeys, when not empty, are the rows this export takes (a retry of the failed ones);
    // otherwise it takes every row.
    WindowExportHost(Catalogue& catalogue, const SettingsStore& settings, std::function<void(int row)> showRow,
                     std::function<bool()> placesComing, QStringList onlyKeys = {});

    QStringList TakeRows() override;
    std::optional<ExportRowFacts> Row(const QString& key, bool show) override;
    ExportSettings Settings() override;
    void SetStatus(const QString& rowKey, const QString& text) override;
    bool PlacesComing() override;

private:
    // On the UI thread: where the row with this key is now (-1: removed); Relocate notes where
    // every row is.
    int Locate(const QString& key);
    void Relocate();

    Catalogue& catalogue_;
    const SettingsStore& settings_;
    std::function<void(int row)> showRow_;
    std::function<bool()> placesComing_;
    QStringList onlyKeys_;
    QHash<QString, int> lastRowOf_; // UI thread only: where each row was last seen, a hint
};
