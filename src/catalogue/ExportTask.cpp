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
    const iteminfo info = FillItemInfo(row.name, row.kind, row.place, row.shotTime);
    return {ExportFolder(settings, BuildExportFolder(info, settings.rule, settings.defaultPlace)), info.filename};
}

} // namespace

ExportRowFacts ExportFactsOf(const Catalogue& catalogue, int row)
{
    const CatalogueEntry& entry = catalogue.Entry(row);
    const QString source = entry.Path();
    QString onCard = entry.root.isEmpty() ? source : entry.folder + entry.name;
    if (!entry.root.isEmpty())
        while (onCard.startsWith(u'/'))
            onCard.remove(0, 1);
    return {entry.key, source, entry.name, entry.kind, entry.place, entry.placeState, entry.shotTime, onCard};
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
    for (int row = 0; row < catalogue_.Count(); ++row) {
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
    while (row && row->placeState == PlaceState::Pending && waited.elapsed() < kPlaceWaitMs && !stop.stop_requested()
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

QString ExportStatusWord(const ExportLine& line)
{
    switch (line.outcome) {
    case ExportOutcome::Copied:
    case ExportOutcome::Renamed: return line.verified ? kStatusVerified : kStatusCopied;
    case ExportOutcome::AlreadyThere: return kStatusPresent;
    case ExportOutcome::Failed: return kStatusFailed;
    case ExportOutcome::Vanished: break;
    }
    return {};
}

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
//
// A re-export of a card already in the output folder must cost about what `rsync` costs: one
// look at each card file and at its copy. So a copy found by size and time is only noted, and
// the hash list is read when it is needed (a file not at its target may be elsewhere in the
// folder; a new generation lists the files found with their recorded hashes). A run that copied
// and read nothing adds no generation: the list already says everything it could.
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
        hasRecord_ = QFileInfo(root_ + QStringLiteral("/ascmhl")).isDir();
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
    // Whether the file at target (alike to source by size and time, or else by its first and
    // last bytes) is a copy of it; a copy found by its ends alone is read whole, with the source.
    bool AcceptFound(const QString& source, const QString& target, const QString& onCard, bool sameTime);
    // A copy of this card file that the hash list places elsewhere in the output folder.
    std::optional<QString> ElsewhereInRecord(const QString& onCard, const struct stat& source, const QString& target);
    void Write(int rowIndex, const QString& source, const QString& onCard, const QString& target);
    void FinishBatch();
    void Fail(RowResult& row, const QString& error);
    void Emit();
    void WriteRecord();
    const HashHistory& History();
    QString Relative(const QString& path) const { return path.mid(root_.size() + 1); }
    // The hash list's entry of a copy hashed by this run.
    HashedFile Entry(const QString& target, const QString& onCard, uint64_t hash, qint64 size, const QDateTime& modified) const;
    // A copy read from the disk now and its entry; nothing when it cannot be read (error says why).
    std::optional<HashedFile> ReadCopy(const QString& target, const QString& onCard, QString& error) const;

    ExportHost& host_;
    std::stop_token stop_;
    const std::function<void(const ExportLine&)>& onLine_;
    QDateTime start_;
    QString root_;
    ExportReport report_;
    std::optional<CopyBatch> batch_;
    bool hasRecord_ = false;
    std::optional<HashHistory> history_; // read on first use
    QList<HashedFile> recorded_;         // copied or read by this run
    QList<std::pair<QString, QString>> found_; // copies found already there: target, card path
    ExportTargets targets_;
    ExportFolders folders_;
    CompanionFinder companionFinder_;
    QList<RowResult> rows_;                 // rows not yet told, in list order
    QHash<QString, int> waitingRowOf_;      // target of a waiting copy -> index in rows_
    QHash<QString, QString> waitingOnCard_; // target of a waiting copy -> its source on the card
    bool diskFull_ = false;
};

const HashHistory& ExportRun::History()
{
    if (!history_) {
        QString unreadable; // an unreadable generation only means less is known
        history_ = HashHistory::Load(root_, &unreadable);
    }
    return *history_;
}

HashedFile ExportRun::Entry(const QString& target, const QString& onCard, uint64_t hash, qint64 size,
                            const QDateTime& modified) const
{
    HashedFile entry;
    entry.path = Relative(target);
    entry.size = size;
    entry.modified = modified;
    entry.xxh64 = Xxh64Hex(hash);
    entry.hashDate = QDateTime::currentDateTimeUtc();
    entry.action = HashedFile::Action::Original;
    entry.source = onCard;
    return entry;
}

std::optional<HashedFile> ExportRun::ReadCopy(const QString& target, const QString& onCard, QString& error) const
{
    uint64_t hash = 0;
    if (!HashFile(target, hash, error))
        return std::nullopt;
    const QFileInfo copy(target);
    return Entry(target, onCard, hash, copy.size(), copy.lastModified().toUTC());
}

bool ExportRun::AcceptFound(const QString& source, const QString& target, const QString& onCard, bool sameTime)
{
    if (sameTime && hasRecord_) {
        found_.append({target, onCard}); // a copy keeps its source's size and time: nothing is read
        return true;
    }
    // Otherwise the copy is read now: where there is no hash list yet (an export from before
    // them) to start one while its row shows where the export is, and where it is alike to the
    // source only at both ends, to compare every byte.
    QString error;
    const std::optional<HashedFile> copy = ReadCopy(target, onCard, error);
    if (!copy)
        return false;
    uint64_t sourceHash = 0;
    if (!sameTime && (!HashFile(source, sourceHash, error) || Xxh64Hex(sourceHash) != copy->xxh64))
        return false;
    recorded_ << *copy;
    return true;
}

std::optional<QString> ExportRun::ElsewhereInRecord(const QString& onCard, const struct stat& source, const QString& target)
{
    if (!hasRecord_)
        return std::nullopt;
    // The same path on the card, size and time (a copy keeps its source's time; FAT keeps it to
    // 2 s), and the copy there as it was recorded. Cards number their files anew, so the path
    // alone is not enough.
    for (const HashedFile& entry : History().FromSource(onCard, source.st_size)) {
        const QString path = root_ + u'/' + entry.path;
        struct stat copy {};
        if (entry.action == HashedFile::Action::Failed || path == target || stat(QFile::encodeName(path).constData(), &copy) != 0
            || !S_ISREG(copy.st_mode) || copy.st_size != entry.size || copy.st_mtim.tv_sec != entry.modified.toSecsSinceEpoch()
            || qAbs(entry.modified.toSecsSinceEpoch() - qint64(source.st_mtim.tv_sec)) > 2)
            continue;
        found_.append({path, onCard});
        return path;
    }
    return std::nullopt;
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
        recorded_ << Entry(done.target, onCard, done.result.xxh64, done.result.size, done.result.modified);
        if (done.target == row.line.target)
            row.line.verified = done.result.verified;
    }
    Emit();
}

// Tells every row whose copies are all done, in list order.
void ExportRun::Emit()
{
    qsizetype told = 0;
    for (; told < rows_.size() && rows_[told].copiesWaiting == 0; ++told) {
        const RowResult& row = rows_[told];
        if (row.stopped)
            continue;
        const QString status = ExportStatusWord(row.line);
        if (!status.isEmpty())
            host_.SetStatus(row.line.key, status);
        if (onLine_)
            onLine_(row.line);
        report_.lines << row.line;
    }
    if (told == 0)
        return;
    rows_.remove(0, told);
    for (auto it = waitingRowOf_.begin(); it != waitingRowOf_.end(); ++it)
        *it -= int(told);
}

void ExportRun::ExportRow(const QString& key, const ExportRowFacts& row, const ExportSettings& settings)
{
    const Target target = TargetOf(row, settings);
    rows_.append({{row.source, target.folder + target.filename, ExportOutcome::Copied, {}, key}, 0});
    const int index = int(rows_.size()) - 1;
    struct stat sourceInfo {};
    if (row.source.isEmpty() || stat(QFile::encodeName(row.source).constData(), &sourceInfo) != 0) {
        rows_[index].line.outcome = ExportOutcome::Vanished;
        return; // no folder is made for a file that is not there
    }
    if (!S_ISREG(sourceInfo.st_mode))
        sourceInfo.st_size = -1; // no file is a copy of it; reading it fails and says why
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
        choice = targets_.Choose(target.folder, target.filename, row.source, sourceInfo, companionSources);
        if (!choice.alreadyThere || AcceptFound(row.source, choice.path, row.sourceOnCard, choice.sameTime))
            break;
        targets_.Wrote(choice.path, QString()); // alike, but not a copy: another file's name
    }
    // Exported before under another folder (the place or the naming rule changed since).
    if (!choice.alreadyThere)
        if (const auto elsewhere = ElsewhereInRecord(row.sourceOnCard, sourceInfo, choice.path))
            choice = {*elsewhere, true, true};
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
    // A companion goes where its name is free; a copy of it already there is noted, a different
    // file there stays.
    for (const Companion& companion : companions) {
        const QString companionTarget = WithExtension(choice.path, companion.extension);
        const QString onCard = onCardOf(companion.path);
        struct stat there {};
        if (lstat(QFile::encodeName(companionTarget).constData(), &there) == 0) {
            struct stat own {};
            if (S_ISREG(there.st_mode) && SameFileQuick(companion.path, companionTarget)
                && stat(QFile::encodeName(companion.path).constData(), &own) == 0)
                AcceptFound(companion.path, companionTarget, onCard, own.st_mtim.tv_sec == there.st_mtim.tv_sec);
            continue;
        }
        Write(index, companion.path, onCard, companionTarget);
        if (diskFull_ || stop_.stop_requested())
            return;
    }
}

// The run's generation of the hash list: what it copied or read, and the copies it found with
// their recorded hashes (a found copy the list does not know yet is read now). None when the run
// copied and read nothing and a list is there.
void ExportRun::WriteRecord()
{
    if (recorded_.isEmpty() && (hasRecord_ || found_.isEmpty()))
        return;
    QList<HashedFile> files = recorded_;
    for (const auto& [target, onCard] : std::as_const(found_)) {
        const QFileInfo copy(target);
        const std::optional<HashedFile> known = History().Find(Relative(target));
        if (known && known->action != HashedFile::Action::Failed && known->size == copy.size()
            && known->modified.toSecsSinceEpoch() == copy.lastModified().toSecsSinceEpoch()) {
            HashedFile entry = *known;
            entry.action = HashedFile::Action::Known; // its earlier hash, not read again
            if (entry.source.isEmpty())
                entry.source = onCard;
            files << entry;
            continue;
        }
        QString error;
        if (const std::optional<HashedFile> read = ReadCopy(target, onCard, error))
            files << *read;
        else
            report_.recordFailure = error;
    }
    GenerationInfo info;
    info.start = start_;
    QString error;
    if (const auto written = WriteGeneration(root_, info, files, &error))
        report_.record = *written;
    else
        report_.recordFailure = error;
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
    WriteRecord();
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
