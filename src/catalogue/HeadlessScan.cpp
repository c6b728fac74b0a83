#include "catalogue/HeadlessScan.h"

#include "catalogue/Catalogue.h"
#include "catalogue/FolderScan.h"

#include <QFileInfo>
#include <QTextStream>

int RunHeadlessScan(const QString& root, QTextStream& out, QTextStream& err)
{
    if (!QFileInfo(root).isDir()) {
        err << QStringLiteral("(%1)不存在").arg(root) << Qt::endl;
        return 2;
    }
    QStringList paths;
    WalkFolder(root, kScanExtensions, paths);
    Catalogue catalogue;
    BuildOptions options;
    options.rootText = root;
    const BuildReport report = BuildEntries(catalogue, paths, options);

    const CatalogueListModel& rows = catalogue.rows();
    for (int row = 0; row < rows.rowCount(); ++row) {
        const PListviewdata record = catalogue.index().find(catalogue.RowKey(row));
        out << catalogue.SourcePath(row) << '\t' << rows.cell(row, kColType) << '\t' << rows.cell(row, kColSize) << '\t'
            << (record ? record->filegps : QString()) << '\t' << rows.cell(row, kColShotTime) << '\n';
    }
    out.flush();
    for (const QString& line : report.unreadable)
        err << QStringLiteral("无法读取：") << line << Qt::endl;
    return 0;
}
