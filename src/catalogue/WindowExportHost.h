#pragma once
// The export's view of the main window's list, for the export task on the worker thread: rows
// are read, shown and given their status on the UI thread, where the list lives; the settings
// are a snapshot of the moment, read where the task runs.

#include "catalogue/ExportTask.h"

#include <QHash>
#include <functional>

class Catalogue;
class SettingsStore;

class WindowExportHost : public ExportHost {
public:
    // showRow scrolls the list to a row (the export shows the row it is at).
    WindowExportHost(Catalogue& catalogue, const SettingsStore& settings, std::function<void(int row)> showRow);

    int RowCount() override;
    ExportRowFacts Row(int i, bool show) override;
    ExportSettings Settings() override;
    void SetStatus(const QString& rowKey, const QString& text) override;

private:
    Catalogue& catalogue_;
    const SettingsStore& settings_;
    std::function<void(int row)> showRow_;
    QHash<QString, int> lastRowOf_; // UI thread only: where each row was last seen
};
