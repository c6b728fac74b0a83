#include "catalogue/WindowExportHost.h"

#include "catalogue/Catalogue.h"
#include "core/UiHandover.h"
#include "services/SettingsInfo.h"

WindowExportHost::WindowExportHost(Catalogue& catalogue, const SettingsStore& settings,
                                   std::function<void(int row)> showRow)
    : catalogue_(catalogue)
    , settings_(settings)
    , showRow_(std::move(showRow))
{
}

int WindowExportHost::RowCount()
{
    int count = 0;
    UiHandover::RunOnUiThread([&] { count = catalogue_.rows().rowCount(); });
    return count;
}

ExportRowFacts WindowExportHost::Row(int i, bool show)
{
    ExportRowFacts facts;
    UiHandover::RunOnUiThread([&] {
        if (show && showRow_)
            showRow_(i);
        if (i >= catalogue_.rows().rowCount())
            return; // removed meanwhile
        facts = ExportFactsOf(catalogue_, i);
        lastRowOf_[facts.key] = i;
    });
    return facts;
}

ExportSettings WindowExportHost::Settings()
{
    return ExportSettingsOf(*settings_.Snapshot());
}

void WindowExportHost::SetStatus(const QString& rowKey, const QString& text)
{
    UiHandover::RunOnUiThread([&] {
        // The row is where it was last seen unless the user sorted the list meanwhile.
        const int row = catalogue_.RowOfKey(rowKey, lastRowOf_.value(rowKey, -1));
        lastRowOf_[rowKey] = row;
        if (row >= 0)
            catalogue_.rows().setCell(row, kColStatus, text);
    });
}
