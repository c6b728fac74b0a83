#include "catalogue/ExportTask.h"

#include "catalogue/Catalogue.h"
#include "catalogue/ExportCopy.h"
#include "catalogue/ExportNaming.h"
#include "catalogue/FolderScan.h"
#include "core/Helpers.h"
#include "services/SettingsInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>

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

ExportSettings ExportSettingsOf(const TSetInfo& settings)
{
    const ExportSettings::Mode mode = settings.Outck2 ? ExportSettings::NewFiles
                                    : settings.Outck1 ? ExportSettings::ModifySource
                                                      : ExportSettings::NoMode;
    return {mode, settings.OutPath, settings.CityText, settings.MorenCity};
}

QString ExportFolder(const ExportSettings& settings, const QString& relativeFolder)
{
    const QString out = settings.outPath;
    return out + (TrimLowChars(out).endsWith(u'/') ? QString() : QStringLiteral("/")) + relativeFolder;
}

ExportReport RunExport(ExportHost& host, std::stop_token stop, const std::function<void(const ExportLine&)>& onLine)
{
    ExportReport report;
    const int count = host.RowCount();
    const auto record = [&](ExportLine line) {
        if (onLine)
            onLine(line);
        report.lines << std::move(line);
    };

    // Which sources share a target name: they must all be kept, under suffixed names.
    QHash<QString, QStringList> sharing;
    std::vector<Target> targets; // by row, while the settings stay as they were here
    const ExportSettings first = host.Settings();
    if (first.mode == ExportSettings::NewFiles)
        for (int i = 0; i < count; ++i) {
            const ExportRowFacts row = host.Row(i, false);
            targets.push_back(TargetOf(row, first));
            sharing[targets.back().folder + targets.back().filename] << row.source;
        }

    QSet<QString> madeFolders; // folders known to exist: no need to ask the disk again
    for (int i = 0; i < count && !stop.stop_requested(); ++i) {
        const ExportRowFacts row = host.Row(i, true);
        const ExportSettings settings = host.Settings(); // read at the moment of use
        if (settings.mode != ExportSettings::NewFiles)
            continue;
        const bool unchanged = settings.outPath == first.outPath && settings.rule == first.rule
            && settings.defaultPlace == first.defaultPlace && size_t(i) < targets.size();
        const Target target = unchanged ? targets[size_t(i)] : TargetOf(row, settings);
        if (!madeFolders.contains(target.folder) && !QDir().mkpath(target.folder)) {
            report.failure = QStringLiteral("无法创建文件夹 %1").arg(target.folder);
            record({row.source, target.folder, ExportOutcome::Failed, report.failure});
            break;
        }
        madeFolders.insert(target.folder);

        QString dst = target.folder + target.filename;
        if (!row.source.isEmpty() && QFileInfo::exists(row.source)) {
            const TargetChoice choice = ChooseTarget(target.folder, target.filename, row.source,
                                                     sharing.value(target.folder + target.filename));
            dst = choice.path;
            if (choice.alreadyThere) {
                host.SetStatus(row.key, QStringLiteral("100"));
                record({row.source, dst, ExportOutcome::AlreadyThere, {}});
            } else {
                const CopyResult copied = CopyWithProgress(
                    row.source, dst, [&](const QString& text) { host.SetStatus(row.key, text); }, stop);
                if (copied.outcome == CopyOutcome::Cancelled) {
                    report.cancelled = true;
                    break;
                }
                if (copied.outcome == CopyOutcome::Failed) {
                    report.failure = copied.error;
                    record({row.source, dst, ExportOutcome::Failed, copied.error});
                    break;
                }
                record({row.source, dst,
                        dst == target.folder + target.filename ? ExportOutcome::Copied : ExportOutcome::Renamed, {}});
            }
        } else {
            record({row.source, dst, ExportOutcome::Vanished, {}});
        }

        // A video's flight log follows the video's target name (photos have none).
        const QString srtSource = row.type == kTypeVideo ? SrtCompanion(row.source) : QString();
        const QString srtTarget = WithSrtExtension(dst);
        if (!srtSource.isEmpty() && !SameFileQuick(srtSource, srtTarget)) {
            const CopyResult copied = CopyWithProgress(
                srtSource, srtTarget, [&](const QString& text) { host.SetStatus(row.key, text); }, stop);
            if (copied.outcome == CopyOutcome::Cancelled) {
                report.cancelled = true;
                break;
            }
            if (copied.outcome == CopyOutcome::Failed) {
                report.failure = copied.error;
                record({srtSource, srtTarget, ExportOutcome::Failed, copied.error});
                break;
            }
        }
    }
    if (stop.stop_requested())
        report.cancelled = true;
    return report;
}
