#include "catalogue/ExportTask.h"

#include "catalogue/MediaNames.h"

#include "catalogue/Catalogue.h"
#include "export/ExportCopy.h"
#include "catalogue/ExportNaming.h"
#include "catalogue/FolderScan.h"
#include "core/Helpers.h"
#include "services/Geocoder.h"
#include "services/SettingsInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QSet>
#include <algorithm>
#include <chrono>
#include <thread>

namespace {

struct Target {
    QString folder;
    QString filename;
};

Target TargetOf(const ExportRowFacts& row, const ExportSettings& settings)
{
    const iteminfo info = FillItemInfo(row.name, row.type, row.place, row.shotTime);
    return {ExportFolder(settings, BuildExportFolder(info, settings.rule, settings.defaultPlace)), info.filename};
}

} // namespace

ExportRowFacts ExportFactsOf(const Catalogue& catalogue, int row)
{
    const CatalogueListModel& rows = catalogue.rows();
    return {catalogue.RowKey(row),    catalogue.SourcePath(row),    rows.cell(row, kColName),
            rows.cell(row, kColType), rows.cell(row, kColLocation), rows.cell(row, kColShotTime)};
}

CatalogueExportHost::CatalogueExportHost(Catalogue& catalogue, ExportSettings settings)
    : catalogue_(catalogue)
    , settings_(std::move(settings))
{
}

QStringList CatalogueExportHost::TakeRows()
{
    QStringList keys;
    rowOf_.clear();
    for (int row = 0; row < catalogue_.rows().rowCount(); ++row) {
        keys << catalogue_.RowKey(row);
        rowOf_.insert(keys.back(), row);
    }
    return keys;
}

std::optional<ExportRowFacts> CatalogueExportHost::Row(const QString& key, bool)
{
    const int row = rowOf_.value(key, -1);
    if (row < 0)
        return std::nullopt;
    return ExportFactsOf(catalogue_, row);
}

ExportSettings ExportSettingsOf(const TSetInfo& settings)
{
    const ExportSettings::Mode mode = settings.Outck2 ? ExportSettings::NewFiles
                                    : settings.Outck1 ? ExportSettings::ModifySource
                                                      : ExportSettings::NoMode;
    return {mode, settings.OutPath, settings.CityText, settings.MorenCity, settings.VerifyCopies};
}

QString ExportFolder(const ExportSettings& settings, const QString& relativeFolder)
{
    const QString out = settings.outPath;
    return out + (TrimLowChars(out).endsWith(u'/') ? QString() : QStringLiteral("/")) + relativeFolder;
}

namespace {

// The row as it is when its turn comes; a pending place is waited for a little while places
// are still being looked up.
std::optional<ExportRowFacts> RowWhenItsTurnComes(ExportHost& host, const QString& key, std::stop_token stop)
{
    constexpr auto kPoll = std::chrono::milliseconds(50);
    std::optional<ExportRowFacts> row = host.Row(key, true);
    QElapsedTimer waited;
    waited.start();
    while (row && TrimLowChars(row->place) == kPlacePending && waited.elapsed() < kPlaceWaitMs && !stop.stop_requested()
           && host.PlacesComing()) {
        std::this_thread::sleep_for(kPoll);
        row = host.Row(key, false);
    }
    return row;
}

// The folders of the output tree: made on demand, noting which ones this run made, so that
// those left empty (a file stopped or failed, a run ended early) are removed again at the end.
// A folder that was there before the run is never removed.
class ExportFolders {
public:
    // Makes folder with every missing folder above it; false when that fails.
    bool Make(const QString& folder)
    {
        const QString path = QDir::cleanPath(folder);
        if (known_.contains(path))
            return true;
        QStringList missing; // folder and the missing folders above it, deepest first
        for (QString dir = path; !QFileInfo::exists(dir);) {
            missing << dir;
            const QString parent = QFileInfo(dir).path();
            if (parent == dir)
                break;
            dir = parent;
        }
        const bool made = QDir().mkpath(path);
        // Also after a failure: whatever part of the chain was made is this run's.
        for (const QString& dir : missing)
            if (QFileInfo(dir).isDir())
                made_ << dir;
        if (made)
            known_.insert(path);
        return made;
    }
    // Removes every folder this run made that is empty now, the deepest first, so that a chain
    // of folders made for one file goes as a whole. A folder that holds anything stays.
    void RemoveEmpty()
    {
        std::sort(made_.begin(), made_.end(), [](const QString& a, const QString& b) { return a.size() > b.size(); });
        for (const QString& dir : made_)
            QDir().rmdir(dir); // refused unless empty
        made_.clear();
        known_.clear();
    }

private:
    QSet<QString> known_; // folders known to exist: no need to ask the disk again
    QStringList made_;    // folders this run made
};

} // namespace

ExportReport RunExport(ExportHost& host, std::stop_token stop, const std::function<void(const ExportLine&)>& onLine)
{
    ExportReport report;
    const auto record = [&](ExportLine line) {
        if (onLine)
            onLine(line);
        report.lines << std::move(line);
    };
    const auto progress = [&](const QString& key) { return [&host, key](const QString& text) { host.SetStatus(key, text); }; };
    // Copies one file; false when the export must end (cancelled, or a failure to report).
    const auto copy = [&](const QString& key, const QString& from, const QString& to) {
        const CopyResult copied = CopyWithProgress(from, to, progress(key), stop);
        if (copied.outcome == CopyOutcome::Cancelled) {
            report.cancelled = true;
            host.SetStatus(key, QString()); // a stopped copy shows no share: nothing of it stays
        } else if (copied.outcome == CopyOutcome::Failed) {
            report.failure = copied.error;
            record({from, to, ExportOutcome::Failed, copied.error});
        }
        return copied.outcome == CopyOutcome::Copied;
    };

    ExportTargets targets;
    ExportFolders folders;
    CompanionFinder companionFinder;
    for (const QString& key : host.TakeRows()) {
        if (stop.stop_requested())
            break;
        const std::optional<ExportRowFacts> row = RowWhenItsTurnComes(host, key, stop);
        if (!row)
            continue; // removed from the list meanwhile
        const ExportSettings settings = host.Settings(); // read at the moment of use
        if (settings.mode != ExportSettings::NewFiles)
            continue;
        const Target target = TargetOf(*row, settings);
        if (row->source.isEmpty() || !QFileInfo::exists(row->source)) {
            record({row->source, target.folder + target.filename, ExportOutcome::Vanished, {}});
            continue; // no folder is made for a file that is not there
        }
        if (!folders.Make(target.folder)) {
            report.failure = QStringLiteral("无法创建文件夹 %1").arg(target.folder);
            record({row->source, target.folder, ExportOutcome::Failed, report.failure});
            break;
        }

        // A video's flight log and a photo's RAW twin follow the file's target name.
        const QList<Companion> companions = companionFinder.Of(row->source);
        QStringList companionExtensions;
        for (const Companion& companion : companions)
            companionExtensions << companion.extension;
        const TargetChoice choice = targets.Choose(target.folder, target.filename, row->source, companionExtensions);
        if (choice.alreadyThere) {
            host.SetStatus(key, QStringLiteral("100"));
            record({row->source, choice.path, ExportOutcome::AlreadyThere, {}});
        } else {
            if (!copy(key, row->source, choice.path))
                break;
            targets.Wrote(choice.path, row->source);
            record({row->source, choice.path,
                    choice.path == target.folder + target.filename ? ExportOutcome::Copied : ExportOutcome::Renamed, {}});
        }
        // A companion goes where its name is free; a different file already there stays.
        bool copied = true;
        for (const Companion& companion : companions) {
            const QString companionTarget = WithExtension(choice.path, companion.extension);
            if (QFileInfo::exists(companionTarget))
                continue;
            if (!(copied = copy(key, companion.path, companionTarget)))
                break;
            targets.Wrote(companionTarget, companion.path);
        }
        if (!copied)
            break;
    }
    folders.RemoveEmpty();
    if (stop.stop_requested())
        report.cancelled = true;
    return report;
}
