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

// Where an answer of the resolver came from.
PlaceState StateOf(const PlaceAnswer& answer)
{
    if (answer.place == kPlaceUnknown)
        return PlaceState::Unknown;
    return answer.source == PlaceAnswer::Source::Offline ? PlaceState::Offline : PlaceState::Web;
}

bool IsPending(const CatalogueEntry& entry)
{
    return entry.placeState == PlaceState::Pending;
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
    SetRemaining(CountPending(0, catalogue_.Count() - 1));
}

void LocationPass::Disturbed()
{
    disturbed_ = true;
    idle_ = false;
}

int LocationPass::CountPending(int first, int last) const
{
    int pending = 0;
    for (int row = first; row <= last; ++row)
        pending += IsPending(catalogue_.Entry(row)) ? 1 : 0;
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

void LocationPass::Write(int row, const QString& place, PlaceState state)
{
    writing_ = true; // our own writes do not disturb the sweep
    catalogue_.SetPlace(row, place, state);
    writing_ = false;
    SetRemaining(remaining_ - 1);
}

LocationPass::RowState LocationPass::Visit(int row)
{
    const CatalogueEntry& entry = catalogue_.Entry(row);
    if (!IsPending(entry))
        return RowState::NotPending;
    if (!entry.position) {
        // No position: nothing to look up.
        Write(row, kPlaceUnknown, PlaceState::Unknown);
        return RowState::Done;
    }
    const QString rowKey = entry.key;
    const double longitude = entry.position->longitude;
    const double latitude = entry.position->latitude;
    // The resolvers take the position as the list shows it.
    const QString longitudeText = CoordinateText(longitude);
    const QString latitudeText = CoordinateText(latitude);
    const QString cell = GpsCellKey(longitude, latitude);
    if (const auto known = answers_.constFind(cell); known != answers_.constEnd()) {
        Write(row, known->place, known->state);
        return RowState::Done;
    }
    if (!notCached_.contains(cell)) {
        QString place;
        if (QueryValue(cell, kGpsTable, place)) {
            answers_.insert(cell, {place, PlaceState::Cache});
            Write(row, place, PlaceState::Cache);
            return RowState::Done;
        }
        notCached_.insert(cell);
    }
    if (const auto offline = resolver_->ResolveOfflineNow(longitudeText, latitudeText)) {
        Write(row, offline->place, StateOf(*offline));
        Tell(*offline);
        return RowState::Done;
    }
    if (cell != lookupCell_ && !queued_.contains(cell)) {
        queued_.insert(cell);
        webQueue_.push_back({rowKey, row, cell, longitudeText, latitudeText});
    }
    return RowState::Waiting;
}

bool LocationPass::Tick()
{
    QElapsedTimer spent;
    spent.start();
    bool sweepEnded = false;
    while (!idle_ && spent.elapsed() < kTickBudgetMs) {
        const int count = catalogue_.Count();
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
        const int row = question.rowHint;
        if (answers_.contains(question.cell) || row >= catalogue_.Count() || catalogue_.RowKey(row) != question.rowKey
            || !IsPending(catalogue_.Entry(row)))
            continue;
        // The web may have been given up on meanwhile: then the offline data answers at once.
        if (const auto offline = resolver_->ResolveOfflineNow(question.longitude, question.latitude)) {
            answers_.insert(question.cell, {offline->place, StateOf(*offline)});
            Write(row, offline->place, StateOf(*offline));
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
        answers_.insert(question.cell, {answer.place, StateOf(answer)});
        if (answer.Cacheable())
            InsertValue(question.cell, answer.place, kGpsTable);
    }
    Tell(answer);

    // The row may have moved (sorting) or been edited meanwhile: find it by its key, and leave
    // a text the user typed alone.
    const int row = catalogue_.RowOfKey(question.rowKey, question.rowHint);
    if (answer.place != kPlacePending && row >= 0 && IsPending(catalogue_.Entry(row)))
        Write(row, answer.place, StateOf(answer));
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
