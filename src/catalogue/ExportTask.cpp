#include "catalogue/ExportTask.h"

#include "catalogue/MediaNames.h"

#include "catalogue/Catalogue.h"
#include "catalogue/ExportNaming.h"
#include "catalogue/FolderScan.h"
#include "core/Helpers.h"
#include "export/ExportCopy.h"
#include "export/FileHash.h"
#include "export/HashList.h"
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
    const QString key = catalogue.RowKey(row);
    const QString source = catalogue.SourcePath(row);
    const PListviewdata record = catalogue.index().find(key);
    QString onCard = record && !record->sroot.isEmpty() ? record->spath + record->filename : source;
    if (record && !record->sroot.isEmpty())
        while (onCard.startsWith(u'/'))
            onCard.remove(0, 1);
    return {key,
            source,
            rows.cell(row, kColName),
            rows.cell(row, kColType),
            rows.cell(row, kColLocation),
            rows.cell(row, kColShotTime),
            onCard};
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
        if (QFileInfo(path).isDir())
            RemoveLeftoverCopies(path); // what a killed run left there, the first time the run goes there
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

int ExportReport::Count(ExportOutcome outcome) const
{
    return int(std::count_if(lines.begin(), lines.end(), [outcome](const ExportLine& line) { return line.outcome == outcome; }));
}

bool ExportReport::AllVerified() const
{
    return verify && !cancelled && failure.isEmpty() && recordFailure.isEmpty() && failedKeys.isEmpty()
        && Count(ExportOutcome::Vanished) == 0;
}

QString ExportSummary(const ExportReport& report, int files)
{
    QStringList parts;
    parts << QStringLiteral("共 %1 个文件：%2 %3 个，已存在 %4 个，失败 %5 个")
                 .arg(files)
                 .arg(report.verify ? QStringLiteral("复制并校验") : QStringLiteral("复制"))
                 .arg(report.Copies())
                 .arg(report.Count(ExportOutcome::AlreadyThere))
                 .arg(report.failedKeys.size());
    if (report.cancelled)
        parts << QStringLiteral("导出已取消。");
    if (!report.failure.isEmpty())
        parts << QStringLiteral("导出中止：%1").arg(report.failure);
    if (!report.recordFailure.isEmpty())
        parts << report.recordFailure;
    if (report.AllVerified())
        parts << QStringLiteral("每个文件都已复制到目标磁盘并读回校验一致，可以格式化存储卡。");
    else if (report.verify || !report.failedKeys.isEmpty())
        parts << QStringLiteral("还有文件没有导出或没有校验通过，请不要格式化存储卡。");
    return parts.join(u'\n');
}

namespace {

// One export run: rows in, copies out through a batch of checked copies, and the hash list's
// new generation at the end.
class ExportRun {
public:
    ExportRun(ExportHost& host, std::stop_token stop, const std::function<void(const ExportLine&)>& onLine,
              const std::function<void(const QString&, int)>& beforeReadBack)
        : host_(host)
        , stop_(stop)
        , onLine_(onLine)
        , start_(QDateTime::currentDateTimeUtc())
    {
        const ExportSettings settings = host.Settings();
        root_ = QDir::cleanPath(settings.outPath);
        report_.verify = settings.verify;
        batch_.emplace(CopyOptions{settings.verify, beforeReadBack});
        QString unreadable;
        history_ = HashHistory::Load(root_, &unreadable);
    }

    ExportReport Run();

private:
    // What became of one row, told when all of its copies are done.
    struct RowResult {
        ExportLine line;
        int copiesWaiting = 0;
        bool stopped = false; // its copy was stopped: nothing of it stays, and it is not told
    };
    void ExportRow(const QString& key, const ExportRowFacts& row, const ExportSettings& settings);
    // Finds a copy of source already in the output folder: at target (a copy by size and time,
    // or by content when the record does not know it), or anywhere the hash list says a copy of
    // this card file is. Records it and gives its path; nothing when there is none.
    std::optional<QString> FoundEarlier(const QString& source, const QString& onCard, const QString& target);
    void Write(int rowIndex, const QString& source, const QString& onCard, const QString& target);
    void FinishBatch();
    void Fail(RowResult& row, const QString& error);
    void Emit();
    QString Relative(const QString& path) const { return QDir(root_).relativeFilePath(path); }
    void Record(const QString& target, const QString& onCard, uint64_t hash, HashedFile::Action action, QDateTime hashDate = {});

    ExportHost& host_;
    std::stop_token stop_;
    const std::function<void(const ExportLine&)>& onLine_;
    QDateTime start_;
    QString root_;
    ExportReport report_;
    std::optional<CopyBatch> batch_;
    HashHistory history_;
    QList<HashedFile> recorded_;
    ExportTargets targets_;
    ExportFolders folders_;
    CompanionFinder companionFinder_;
    QList<RowResult> rows_;                 // rows not yet told, in list order
    QHash<QString, int> waitingRowOf_;      // target of a waiting copy -> index in rows_
    QHash<QString, QString> waitingOnCard_; // target of a waiting copy -> its source on the card
    bool diskFull_ = false;
};

void ExportRun::Record(const QString& target, const QString& onCard, uint64_t hash, HashedFile::Action action, QDateTime hashDate)
{
    const QFileInfo info(target);
    HashedFile entry;
    entry.path = Relative(target);
    entry.size = info.size();
    entry.modified = info.lastModified().toUTC();
    entry.xxh64 = Xxh64Hex(hash);
    entry.hashDate = hashDate.isValid() ? hashDate : QDateTime::currentDateTimeUtc();
    entry.action = action;
    entry.source = onCard;
    recorded_ << entry;
}

std::optional<QString> ExportRun::FoundEarlier(const QString& source, const QString& onCard, const QString& target)
{
    const QFileInfo sourceInfo(source);
    const auto trusted = [&](const HashedFile& entry) {
        const QFileInfo copy(root_ + u'/' + entry.path);
        return entry.action != HashedFile::Action::Failed && copy.isFile() && copy.size() == entry.size
            && copy.lastModified().toUTC().toSecsSinceEpoch() == entry.modified.toSecsSinceEpoch();
    };
    const auto known = [&](const HashedFile& entry) {
        Record(root_ + u'/' + entry.path, onCard, Xxh64FromHex(entry.xxh64).value_or(0), HashedFile::Action::Known, entry.hashDate);
        recorded_.back().source = entry.source.isEmpty() ? onCard : entry.source;
        return root_ + u'/' + entry.path;
    };
    // The record knows this path, and the file there is as it was recorded: no byte is read.
    if (const auto entry = history_.Find(Relative(target)); entry && trusted(*entry) && entry->size == sourceInfo.size()
        && (entry->source.isEmpty() || entry->source == onCard))
        return known(*entry);
    // A copy of this card file exported before under another folder (the place or the rule
    // changed since): the same path on the card, size and time (a copy keeps its source's time;
    // FAT keeps it to 2 s). Cards number their files anew, so the path alone is not enough.
    const qint64 sourceTime = sourceInfo.lastModified().toSecsSinceEpoch();
    for (const HashedFile& entry : history_.FromSource(onCard, sourceInfo.size()))
        if (trusted(entry) && qAbs(entry.modified.toSecsSinceEpoch() - sourceTime) <= 2
            && QDir::cleanPath(root_ + u'/' + entry.path) != QDir::cleanPath(target))
            return known(entry);
    if (!SameFileQuick(source, target))
        return std::nullopt;
    // A copy the record does not know (an export from before hash lists): both are read, and
    // only equal bytes make it a copy.
    uint64_t sourceHash = 0, copyHash = 0;
    QString error;
    if (!HashFile(source, sourceHash, error) || !HashFile(target, copyHash, error) || sourceHash != copyHash)
        return std::nullopt;
    Record(target, onCard, copyHash, HashedFile::Action::Original);
    return target;
}

void ExportRun::Fail(RowResult& row, const QString& error)
{
    if (row.line.outcome == ExportOutcome::Failed)
        return; // the first failure of a row is the one told
    row.line.outcome = ExportOutcome::Failed;
    row.line.error = error;
    report_.failedKeys << row.line.key;
}

void ExportRun::Write(int rowIndex, const QString& source, const QString& onCard, const QString& target)
{
    RowResult& row = rows_[rowIndex];
    const CopyResult written = batch_->Write(source, target, [this, key = row.line.key](const QString& text) { host_.SetStatus(key, text); }, stop_);
    if (written.outcome == CopyOutcome::Cancelled) {
        row.stopped = true;
        host_.SetStatus(row.line.key, QString()); // a stopped copy shows no share: nothing of it stays
        return;
    }
    if (written.outcome == CopyOutcome::Failed) {
        Fail(row, written.error);
        if (written.diskFull && report_.failure.isEmpty()) {
            report_.failure = written.error;
            diskFull_ = true;
        }
        return;
    }
    targets_.Wrote(target, source);
    ++row.copiesWaiting;
    waitingRowOf_.insert(target, rowIndex);
    waitingOnCard_.insert(target, onCard);
}

void ExportRun::FinishBatch()
{
    for (const CopyBatch::Finished& done : batch_->Finish()) {
        RowResult& row = rows_[waitingRowOf_.take(done.target)];
        const QString onCard = waitingOnCard_.take(done.target);
        --row.copiesWaiting;
        if (done.result.outcome != CopyOutcome::Copied) {
            Fail(row, done.result.error);
            if (done.result.diskFull && report_.failure.isEmpty()) {
                report_.failure = done.result.error;
                diskFull_ = true;
            }
            continue;
        }
        Record(done.target, onCard, done.result.xxh64, HashedFile::Action::Original);
        recorded_.back().modified = done.result.modified.isValid() ? done.result.modified : recorded_.back().modified;
        if (done.target == row.line.target)
            row.line.verified = done.result.verified;
    }
    Emit();
}

// Tells every row whose copies are all done, in list order.
void ExportRun::Emit()
{
    while (!rows_.isEmpty() && rows_.front().copiesWaiting == 0) {
        const ExportLine line = rows_.front().line;
        const bool stopped = rows_.front().stopped;
        rows_.removeFirst();
        for (auto it = waitingRowOf_.begin(); it != waitingRowOf_.end(); ++it)
            --*it;
        if (stopped)
            continue;
        QString status;
        switch (line.outcome) {
        case ExportOutcome::Copied:
        case ExportOutcome::Renamed: status = line.verified ? kStatusVerified : kStatusCopied; break;
        case ExportOutcome::AlreadyThere: status = kStatusPresent; break;
        case ExportOutcome::Failed: status = kStatusFailed; break;
        case ExportOutcome::Vanished: break;
        }
        if (!status.isEmpty())
            host_.SetStatus(line.key, status);
        if (onLine_)
            onLine_(line);
        report_.lines << line;
    }
}

void ExportRun::ExportRow(const QString& key, const ExportRowFacts& row, const ExportSettings& settings)
{
    const Target target = TargetOf(row, settings);
    rows_.append({{row.source, target.folder + target.filename, ExportOutcome::Copied, {}, key}, 0});
    const int index = int(rows_.size()) - 1;
    if (row.source.isEmpty() || !QFileInfo::exists(row.source)) {
        rows_[index].line.outcome = ExportOutcome::Vanished;
        return; // no folder is made for a file that is not there
    }
    if (!folders_.Make(target.folder)) {
        rows_[index].line.target = target.folder;
        Fail(rows_[index], QStringLiteral("无法创建文件夹 %1").arg(target.folder));
        return;
    }

    // A video's flight log and a photo's RAW twin follow the file's target name.
    const QList<Companion> companions = companionFinder_.Of(row.source);
    QList<CompanionSource> companionSources;
    for (const Companion& companion : companions)
        companionSources << CompanionSource{companion.extension, companion.path};
    const auto onCardOf = [&](const QString& path) {
        return row.sourceOnCard.left(row.sourceOnCard.size() - QFileInfo(row.source).fileName().size()) + QFileInfo(path).fileName();
    };

    TargetChoice choice;
    for (;;) {
        choice = targets_.Choose(target.folder, target.filename, row.source, companionSources);
        if (!choice.alreadyThere)
            break;
        if (const auto found = FoundEarlier(row.source, row.sourceOnCard, choice.path)) {
            choice.path = *found;
            break;
        }
        targets_.Wrote(choice.path, QString()); // alike, but not a copy: another file's name
    }
    // A copy exported before under another folder counts as well.
    if (!choice.alreadyThere && !history_.FromSource(row.sourceOnCard, QFileInfo(row.source).size()).isEmpty())
        if (const auto found = FoundEarlier(row.source, row.sourceOnCard, choice.path); found && *found != choice.path) {
            choice = {*found, true};
        }
    rows_[index].line.target = choice.path;
    if (choice.alreadyThere) {
        rows_[index].line.outcome = ExportOutcome::AlreadyThere;
        host_.SetStatus(key, QStringLiteral("100"));
    } else {
        rows_[index].line.outcome = choice.path == target.folder + target.filename ? ExportOutcome::Copied : ExportOutcome::Renamed;
        Write(index, row.source, row.sourceOnCard, choice.path);
        if (rows_[index].line.outcome == ExportOutcome::Failed || stop_.stop_requested())
            return;
    }
    // A companion goes where its name is free; a copy of it already there is recorded, a
    // different file there stays.
    for (const Companion& companion : companions) {
        const QString companionTarget = WithExtension(choice.path, companion.extension);
        const QString onCard = onCardOf(companion.path);
        if (QFileInfo::exists(companionTarget)) {
            FoundEarlier(companion.path, onCard, companionTarget);
            continue;
        }
        Write(index, companion.path, onCard, companionTarget);
        if (diskFull_ || stop_.stop_requested())
            return;
    }
}

ExportReport ExportRun::Run()
{
    for (const QString& key : host_.TakeRows()) {
        if (stop_.stop_requested() || diskFull_)
            break;
        const std::optional<ExportRowFacts> row = RowWhenItsTurnComes(host_, key, stop_);
        if (!row)
            continue; // removed from the list meanwhile
        const ExportSettings settings = host_.Settings(); // read at the moment of use
        if (settings.mode != ExportSettings::NewFiles)
            continue;
        ExportRow(key, *row, settings);
        if (stop_.stop_requested())
            break;
        if (batch_->Due())
            FinishBatch();
        else
            Emit();
    }
    // Copies written before a cancel are checked and named as usual; the one stopped midway
    // left nothing.
    report_.cancelled = stop_.stop_requested();
    FinishBatch();
    folders_.RemoveEmpty();
    if (!recorded_.isEmpty()) {
        GenerationInfo info;
        info.start = start_;
        QString error;
        if (const auto written = WriteGeneration(root_, info, recorded_, &error))
            report_.record = *written;
        else
            report_.recordFailure = error;
    }
    if (report_.verify)
        SyncNames(root_);
    return report_;
}

} // namespace

ExportReport RunExport(ExportHost& host, std::stop_token stop, const std::function<void(const ExportLine&)>& onLine,
                       const std::function<void(const QString&, int)>& beforeReadBack)
{
    return ExportRun(host, stop, onLine, beforeReadBack).Run();
}
