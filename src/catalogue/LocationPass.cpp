#include "catalogue/LocationPass.h"

#include "catalogue/Catalogue.h"
#include "core/BackgroundTask.h"
#include "core/Helpers.h"
#include "core/UiHandover.h"
#include "services/Geocoder.h"
#include "services/LocationCache.h"
#include "services/PlaceResolver.h"

#include <array>

namespace {
const QString kGpsTable = QStringLiteral("GPS");

bool IsPending(const QString& place)
{
    if (place == kPlacePending)
        return true;
    // A text with no blank or control character at either end is what it looks like.
    if (place.isEmpty() || (place.front() > u' ' && place.back() > u' '))
        return false;
    return TrimLowChars(place) == kPlacePending;
}
} // namespace

LocationPass::LocationPass(Catalogue& catalogue, std::unique_ptr<PlaceResolver> resolver, QObject* parent)
    : QObject(parent)
    , catalogue_(catalogue)
    , resolver_(std::move(resolver))
{
    CatalogueListModel* rows = &catalogue_.rows();
    connect(rows, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
        SetRemaining(remaining_ + CountPending(first, last));
        Disturbed();
    });
    connect(rows, &QAbstractItemModel::rowsRemoved, this, [this] { Disturbed(); });
    connect(rows, &QAbstractItemModel::modelReset, this, [this] { Disturbed(); });
    connect(rows, &QAbstractItemModel::layoutChanged, this, [this] { Disturbed(); });
    connect(rows, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& from, const QModelIndex& to) {
        if (writing_ || from.column() > kColLocation || to.column() < kColLocation)
            return;
        Disturbed(); // the user typed a place, or gave a row back to the lookup
        if (CountPending(from.row(), to.row()) > 0)
            emit placesWanted();
    });
}

LocationPass::~LocationPass()
{
    if (lookup_) {
        lookup_->RequestStop();
        lookup_->WaitUntilEnded();
    }
}

void LocationPass::BeginPass()
{
    resolver_->NewPass();
    toldOffline_ = false;
    toldOfflineError_ = false;
    toldUnreachable_ = false;
    answers_.clear();
    notCached_.clear();
    webQueue_.clear();
    queued_.clear();
    cursor_ = 0;
    pendingInSweep_ = 0;
    disturbed_ = false;
    idle_ = false;
    SetRemaining(CountPending(0, catalogue_.rows().rowCount() - 1));
}

void LocationPass::Disturbed()
{
    disturbed_ = true;
    idle_ = false;
}

int LocationPass::CountPending(int first, int last) const
{
    const CatalogueListModel& rows = catalogue_.rows();
    int pending = 0;
    for (int row = first; row <= last; ++row)
        pending += IsPending(rows.cell(row, kColLocation)) ? 1 : 0;
    return pending;
}

void LocationPass::SetRemaining(int remaining)
{
    remaining = std::max(remaining, 0);
    if (remaining == remaining_)
        return;
    remaining_ = remaining;
    emit progress(remaining_);
}

void LocationPass::Tell(const PlaceAnswer& answer)
{
    if (answer.source == PlaceAnswer::Source::Offline && !toldOffline_) {
        toldOffline_ = true;
        emit statusMessage(answer.webFailed ? QStringLiteral("联网查询地名失败，已改用离线数据（没有街道名）")
                                            : QStringLiteral("地名来自离线数据（没有街道名）"));
    }
    if (answer.source == PlaceAnswer::Source::Web && answer.webFailed && !toldUnreachable_) {
        toldUnreachable_ = true;
        emit statusMessage(QStringLiteral("无法连接地名服务，查不到的地名显示为“未知”"));
    }
    if (!answer.offlineError.isEmpty() && !toldOfflineError_) {
        toldOfflineError_ = true;
        emit statusMessage(answer.offlineError
                           + (resolver_->Mode() == GeoMode::Offline ? QStringLiteral("，无法离线查询地名")
                                                                    : QStringLiteral("，地名只能联网查询")));
    }
}

void LocationPass::Write(int row, const QString& place)
{
    writing_ = true; // our own writes do not disturb the sweep
    catalogue_.rows().setCell(row, kColLocation, place);
    writing_ = false;
    SetRemaining(remaining_ - 1);
}

LocationPass::RowState LocationPass::Visit(int row)
{
    CatalogueListModel& rows = catalogue_.rows();
    if (!IsPending(rows.cell(row, kColLocation)))
        return RowState::NotPending;
    const QString rowKey = catalogue_.RowKey(row);
    const PListviewdata record = catalogue_.index().find(rowKey);
    if (!record)
        return RowState::NotPending; // no file behind it: nothing to look up

    const QString gps = TrimLowChars(record->filegps);
    std::array<QString, 2> pieces;
    SplitStr(gps, pieces, u',');
    bool longitudeOk = false;
    bool latitudeOk = false;
    const double longitude = pieces[0].toDouble(&longitudeOk);
    const double latitude = pieces[1].toDouble(&latitudeOk);
    if (gps == kNoPosition || !longitudeOk || !latitudeOk) {
        // No position, or one that is not two numbers: nothing to look up.
        Write(row, kPlaceUnknown);
        return RowState::Done;
    }
    const QString cell = GpsCellKey(longitude, latitude);
    if (const auto known = answers_.constFind(cell); known != answers_.constEnd()) {
        Write(row, *known);
        return RowState::Done;
    }
    if (!notCached_.contains(cell)) {
        QString place;
        if (QueryValue(cell, kGpsTable, place)) {
            answers_.insert(cell, place);
            Write(row, place);
            return RowState::Done;
        }
        notCached_.insert(cell);
    }
    if (const auto offline = resolver_->ResolveOfflineNow(pieces[0], pieces[1])) {
        Write(row, offline->place);
        Tell(*offline);
        return RowState::Done;
    }
    if (cell != lookupCell_ && !queued_.contains(cell)) {
        queued_.insert(cell);
        webQueue_.push_back({rowKey, row, cell, pieces[0], pieces[1]});
    }
    return RowState::Waiting;
}

bool LocationPass::Tick()
{
    QElapsedTimer spent;
    spent.start();
    bool sweepEnded = false;
    while (!idle_ && spent.elapsed() < kTickBudgetMs) {
        const int count = catalogue_.rows().rowCount();
        if (cursor_ >= count) {
            sweepEnded = true;
            break;
        }
        pendingInSweep_ += Visit(cursor_++) == RowState::Waiting ? 1 : 0;
    }
    if (sweepEnded) {
        const bool done = pendingInSweep_ == 0 && !disturbed_ && !lookupUnderWay_;
        SetRemaining(pendingInSweep_);
        // With every pending row waiting for the web, sweeping again finds nothing new until
        // an answer comes or the list changes.
        idle_ = pendingInSweep_ > 0 && !disturbed_ && (lookupUnderWay_ || !webQueue_.empty());
        cursor_ = 0;
        pendingInSweep_ = 0;
        disturbed_ = false;
        if (done) {
            webQueue_.clear(); // cells whose rows were edited or removed meanwhile
            queued_.clear();
            return false;
        }
    }
    StartNextLookup();
    return true;
}

void LocationPass::StartNextLookup()
{
    const bool refusedRecently = sinceRefusal_.isValid() && sinceRefusal_.elapsed() < kRetryAfterRefusalMs;
    QElapsedTimer spent;
    spent.start();
    while (!lookupUnderWay_ && !refusedRecently && !webQueue_.empty() && spent.elapsed() < kTickBudgetMs) {
        Question question = std::move(webQueue_.front());
        webQueue_.pop_front();
        queued_.remove(question.cell);
        // A row that was edited, removed or moved meanwhile is not asked for: if its cell is
        // still wanted, the next sweep asks for it again.
        const CatalogueListModel& rows = catalogue_.rows();
        const int row = question.rowHint;
        if (answers_.contains(question.cell) || row >= rows.rowCount() || catalogue_.RowKey(row) != question.rowKey
            || !IsPending(rows.cell(row, kColLocation)))
            continue;
        // The web may have been given up on meanwhile: then the offline data answers at once.
        if (const auto offline = resolver_->ResolveOfflineNow(question.longitude, question.latitude)) {
            answers_.insert(question.cell, offline->place);
            Write(row, offline->place);
            Tell(*offline);
            idle_ = false;
            continue;
        }
        StartLookup(question);
    }
}

void LocationPass::StartLookup(const Question& question)
{
    lookupUnderWay_ = true;
    lookupCell_ = question.cell;
    ++lookupsMade_;
    // The previous lookup has delivered its answer already: its task has ended.
    const QPointer<QObject> self(this);
    lookup_ = BackgroundTask::Start([this, self, question](BackgroundTask& task) {
        const PlaceAnswer answer = resolver_->Resolve(question.longitude, question.latitude, task.StopToken());
        if (task.StopRequested())
            return;
        UiHandover::Post(self, [this, question, answer] { Deliver(question, answer); });
    });
}

void LocationPass::Deliver(const Question& question, const PlaceAnswer& answer)
{
    lookupUnderWay_ = false;
    lookupCell_.clear();
    idle_ = false; // the cell's other rows take the answer on the next sweep
    if (answer.place == kPlacePending) {
        // Refused for now: asked again first, after a pause.
        sinceRefusal_.start();
        if (!queued_.contains(question.cell)) {
            queued_.insert(question.cell);
            webQueue_.push_front(question);
        }
    } else {
        answers_.insert(question.cell, answer.place);
        if (answer.Cacheable())
            InsertValue(question.cell, answer.place, kGpsTable);
    }
    Tell(answer);

    // The row may have moved (sorting) or been edited meanwhile: find it by its key, and leave
    // a text the user typed alone.
    const int row = catalogue_.RowOfKey(question.rowKey, question.rowHint);
    if (answer.place != kPlacePending && row >= 0 && IsPending(catalogue_.rows().cell(row, kColLocation)))
        Write(row, answer.place);
    StartNextLookup();
    emit answerWritten();
}

QString PlaceStatusLine(int remaining, const QStringList& notes)
{
    QStringList parts;
    if (remaining > 0)
        parts << QStringLiteral("正在查询地名：还有 %1 个文件").arg(remaining);
    parts << notes;
    return parts.join(QStringLiteral("；"));
}
