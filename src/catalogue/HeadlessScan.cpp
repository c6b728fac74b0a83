#include "catalogue/HeadlessScan.h"

#include "catalogue/Catalogue.h"
#include "catalogue/FolderScan.h"
#include "catalogue/LocationPass.h"
#include "services/Geocoder.h"
#include "services/IniFile.h"
#include "services/LocationCache.h"

#include <QEventLoop>
#include <QTimer>

#include <QFileInfo>
#include <QTextStream>

namespace {

// Runs the location pass on its 10 ms beat until no row is pending.
void ResolvePlaces(Catalogue& catalogue, const QString& settingsFolder)
{
    SetGeocoderConfig(ReadGeocoderConfig(IniFile(settingsFolder + QStringLiteral("Config.dyi"))));
    const bool ownCache = !CacheDbIsOpen();
    if (ownCache)
        OpenCacheDb(settingsFolder + QStringLiteral("Cha.mdb"));
    {
        LocationPass pass(catalogue, [](const QString& longitude, const QString& latitude, std::stop_token stop) {
            return GetPlaceName(longitude, latitude, std::move(stop));
        });
        QEventLoop loop;
        QTimer beat;
        QObject::connect(&beat, &QTimer::timeout, [&] {
            if (!pass.Tick())
                loop.quit();
        });
        beat.start(10);
        loop.exec();
    }
    if (ownCache)
        CloseCacheDb();
}

} // namespace

int RunHeadlessScan(const QString& root, const HeadlessScanOptions& options, QTextStream& out, QTextStream& err)
{
    if (!QFileInfo(root).isDir()) {
        err << QStringLiteral("(%1)不存在").arg(root) << Qt::endl;
        return 2;
    }
    QStringList paths;
    WalkFolder(root, kScanExtensions, paths);
    Catalogue catalogue;
    BuildOptions build;
    build.rootText = root;
    const BuildReport report = BuildEntries(catalogue, paths, build);
    if (options.places)
        ResolvePlaces(catalogue, options.settingsFolder);

    const CatalogueListModel& rows = catalogue.rows();
    for (int row = 0; row < rows.rowCount(); ++row) {
        const PListviewdata record = catalogue.index().find(catalogue.RowKey(row));
        out << catalogue.SourcePath(row) << '\t' << rows.cell(row, kColType) << '\t' << rows.cell(row, kColSize) << '\t'
            << (record ? record->filegps : QString()) << '\t' << rows.cell(row, kColShotTime);
        if (options.places)
            out << '\t' << rows.cell(row, kColLocation);
        out << '\n';
    }
    out.flush();
    for (const QString& line : report.unreadable)
        err << QStringLiteral("无法读取：") << line << Qt::endl;
    return 0;
}
