#include "catalogue/HeadlessScan.h"

#include "catalogue/Catalogue.h"
#include "catalogue/ExportTask.h"
#include "catalogue/FolderScan.h"
#include "catalogue/LocationPass.h"
#include "services/Geocoder.h"
#include "services/IniFile.h"
#include "services/LocationCache.h"
#include "services/PlaceResolver.h"
#include "services/SettingsInfo.h"

#include <QEventLoop>
#include <QTimer>

#include <QFileInfo>
#include <QTextStream>
#include <optional>

HeadlessGeocoding::HeadlessGeocoding(const HeadlessScanOptions& options)
{
    GeocoderConfig config = ReadGeocoderConfig(IniFile(options.settingsFolder + QStringLiteral("Config.dyi")));
    if (options.offline)
        config.mode = GeoMode::Offline;
    SetGeocoderConfig(config);
    ownCache_ = !CacheDbIsOpen();
    if (ownCache_)
        OpenCacheDb(options.settingsFolder + QStringLiteral("Cha.mdb"));
}

HeadlessGeocoding::~HeadlessGeocoding()
{
    if (ownCache_)
        CloseCacheDb();
}

namespace {

// Runs the location pass on its 10 ms beat until no row is pending. Where the places came
// from, when not from the web, is said on err. The geocoding (settings and cache) is set up by
// the caller before the scan, so that rows whose place the user typed come with it.
void ResolvePlaces(Catalogue& catalogue, QTextStream& err)
{
    LocationPass pass(catalogue, std::make_unique<PlaceResolver>(CurrentGeocoderConfig().mode));
    QObject::connect(&pass, &LocationPass::statusMessage, [&](const QString& text) { err << text << Qt::endl; });
    QEventLoop loop;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        if (!pass.Tick())
            loop.quit();
    });
    beat.start(10);
    loop.exec();
}

// Lists every photo and video below root in a fresh catalogue, as the scan command does.
BuildReport ScanInto(Catalogue& catalogue, const QString& root)
{
    QStringList paths;
    WalkFolder(root, kScanExtensions, paths);
    BuildOptions build;
    build.rootText = root;
    return BuildEntries(catalogue, paths, build);
}

} // namespace

int RunHeadlessScan(const QString& root, const HeadlessScanOptions& options, QTextStream& out, QTextStream& err)
{
    if (!QFileInfo(root).isDir()) {
        err << QStringLiteral("(%1)不存在").arg(root) << Qt::endl;
        return 2;
    }
    std::optional<HeadlessGeocoding> geocoding;
    if (options.places)
        geocoding.emplace(options);
    Catalogue catalogue;
    const BuildReport report = ScanInto(catalogue, root);
    if (options.places)
        ResolvePlaces(catalogue, err);

    // The list's texts, and the position behind the place.
    const CatalogueListModel& rows = catalogue.rows();
    for (int row = 0; row < catalogue.Count(); ++row) {
        const CatalogueEntry& entry = catalogue.Entry(row);
        out << entry.Path() << '\t' << rows.text(row, kColType) << '\t' << rows.text(row, kColSize) << '\t'
            << PositionText(entry.position) << '\t' << rows.text(row, kColShotTime);
        if (options.places)
            out << '\t' << entry.place;
        out << '\n';
    }
    out.flush();
    for (const QString& line : report.unreadable)
        err << QStringLiteral("无法读取：") << line << Qt::endl;
    return 0;
}

namespace {

// The row's word, told more exactly where the command line has room: an unchecked copy under a
// "-1" name, a file that vanished.
QString OutcomeText(const ExportLine& line)
{
    if (line.outcome == ExportOutcome::Renamed && !line.verified)
        return QStringLiteral("重名改名");
    if (line.outcome == ExportOutcome::Vanished)
        return QStringLiteral("源文件不见了");
    return ExportStatusWord(line);
}

} // namespace

int RunHeadlessExport(const QString& root, const QString& out, const HeadlessScanOptions& options, QTextStream& output,
                      QTextStream& err)
{
    for (const QString& folder : {root, out})
        if (!QFileInfo(folder).isDir()) {
            err << QStringLiteral("(%1)不存在").arg(folder) << Qt::endl;
            return 2;
        }
    const HeadlessGeocoding geocoding(options);
    Catalogue catalogue;
    ScanInto(catalogue, root);
    ResolvePlaces(catalogue, err);

    TSetInfo saved;
    saved.read(IniFile(options.settingsFolder + QStringLiteral("Config.dyi")));
    ExportSettings settings = ExportSettingsOf(saved);
    settings.mode = ExportSettings::NewFiles;
    settings.outPath = QFileInfo(out).absoluteFilePath();
    CatalogueExportHost host(catalogue, settings);
    const ExportReport report = RunExport(host, {}, [&](const ExportLine& line) {
        output << OutcomeText(line) << '\t' << line.source << '\t' << line.target;
        if (!line.error.isEmpty())
            output << '\t' << line.error;
        output << Qt::endl;
    });
    err << ExportSummary(report, catalogue.rows().rowCount()) << Qt::endl;
    return report.failure.isEmpty() && report.recordFailure.isEmpty() && report.failedKeys.isEmpty() ? 0 : 1;
}
