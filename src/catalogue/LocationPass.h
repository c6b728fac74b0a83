#pragma once
// The location pass: turns the pending rows' positions ("..." in the place column) into place
// texts, from the location cache when it knows the position's cell and otherwise from the
// geocoders (the web, the offline data, as the resolver chooses). It runs in ticks on the UI
// thread; a lookup runs on a background task, one at a time, and its answer is written into
// the row it was asked for, wherever that row is by then. Once the pass names places offline
// (the web failed, or the mode says so), the ticks name the rest at once without that thread.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <memory>

class BackgroundTask;
class Catalogue;
class PlaceResolver;
struct PlaceAnswer;

class LocationPass : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickBudgetMs = 15;          // work per tick before the window's turn
    static constexpr int kRetryAfterRefusalMs = 1000; // the service limits requests per second

    LocationPass(Catalogue& catalogue, std::unique_ptr<PlaceResolver> resolver, QObject* parent = nullptr);
    ~LocationPass() override; // ends a lookup under way at once

    // A new pass (the scan starts one): the web is tried again, and the user is told again
    // where the places come from.
    void BeginPass();

    // One tick: writes "未知" for pending rows without a usable position, answers pending rows
    // from the cache, and starts a web lookup when none is under way. False when no row is
    // pending any more (the timer may stop).
    bool Tick();

    bool LookupUnderWay() const { return lookupUnderWay_; }
    int LookupsMade() const { return lookupsMade_; }

signals:
    void answerWritten();
    // Once per pass each: places were named offline, or the offline data could not be used.
    void statusMessage(const QString& text);

private:
    void StartLookup(const QString& rowKey, const QString& cellKey, const QString& longitude, const QString& latitude);
    void Deliver(const QString& rowKey, const QString& cellKey, const PlaceAnswer& answer);
    void Tell(const PlaceAnswer& answer);

    Catalogue& catalogue_;
    std::unique_ptr<PlaceResolver> resolver_; // used by the lookup thread and the ticks
    bool toldOffline_ = false;
    bool toldOfflineError_ = false;
    std::shared_ptr<BackgroundTask> lookup_; // the last lookup; it ends before the pass goes
    bool lookupUnderWay_ = false;
    QString lookupCell_; // the cell being looked up
    int lookupsMade_ = 0;
    QElapsedTimer sinceRefusal_; // valid after a "..." answer
};
