#include "catalogue/WindowExportHost.h"

#include "catalogue/Catalogue.h"
#include "core/UiHandover.h"
#include "services/SettingsInfo.h"

#include <QSet>

WindowExportHost::WindowExportHost(Catalogue& catalogue, const SettingsStore& settings,
                                   std::function<void(int row)> showRow, std::function<bool()> placesComing,
                                   QStringList onlyKeys)
    : catalogue_(catalogue)
    , settings_(settings)
    , showRow_(std::move(showRow))
    , placesComing_(std::move(placesComing))
    , onlyKeys_(std::move(onlyKeys))
{
}

void WindowExportHost::Relocate()
{
    lastRowOf_.clear();
    const int count = catalogue_.Count();
    for (int row = 0; row < count; ++row)
        lastRowOf_.insert(catalogue_.RowKey(row), row);
}

int WindowExportHost::Locate(const QString& key)
{
    // The row is where it was last seen unless the list was sorted or rows were removed
    // meanwhile; then every row is found again in one pass.
    const int hint = lastRowOf_.value(key, -1);
    const int count = catalogue_.Count();
    if (hint >= 0 && hint < count && catalogue_.RowKey(hint) == key)
        return hint;
    Relocate();
    return lastRowOf_.value(key, -1);
}

QStringList WindowExportHost::TakeRows()
{
    QStringList keys;
    UiHandover::RunOnUiThread([&] {
        const int count = catalogue_.Count();
        keys.reserve(count);
        Relocate();
        if (onlyKeys_.isEmpty()) {
            for (int row = 0; row < count; ++row)
                keys << catalogue_.RowKey(row);
            catalogue_.ClearStatus();
            return;
        }
        // A retry: the rows asked for that are still listed, in list order; the others keep
        // what their last run showed.
        const QSet<QString> wanted(onlyKeys_.begin(), onlyKeys_.end());
        for (int row = 0; row < count; ++row)
            if (wanted.contains(catalogue_.RowKey(row))) {
                keys << catalogue_.RowKey(row);
                catalogue_.SetStatus(row, QString());
            }
    });
    return keys;
}

std::optional<ExportRowFacts> WindowExportHost::Row(const QString& key, bool show)
{
    std::optional<ExportRowFacts> facts;
    UiHandover::RunOnUiThread([&] {
        const int row = Locate(key);
        if (row < 0)
            return;
        if (show && showRow_)
            showRow_(row);
        facts = ExportFactsOf(catalogue_, row);
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
        const int row = Locate(rowKey);
        if (row >= 0)
            catalogue_.SetStatus(row, text);
    });
}

bool WindowExportHost::PlacesComing()
{
    bool coming = false;
    if (placesComing_)
        UiHandover::RunOnUiThread([&] { coming = placesComing_(); });
    return coming;
}
