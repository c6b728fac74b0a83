#pragma once
// The location pass: turns the pending rows' positions ("..." in the place column) into place
// texts, from the location cache when it knows the position's cell and otherwise from the web.
// It runs in ticks on the UI thread; a web lookup runs on a thread of its own, one at a time,
// and its answer is written into the row it was asked for, wherever that row is by then.

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <functional>
#include <stop_token>
#include <thread>

class Catalogue;

class LocationPass : public QObject {
    Q_OBJECT
public:
    // Asks the web for the place at (longitude, latitude); runs off the UI thread.
    using Lookup = std::function<QString(const QString& longitude, const QString& latitude, std::stop_token stop)>;

    static constexpr int kTickBudgetMs = 15;          // work per tick before the window's turn
    static constexpr int kRetryAfterRefusalMs = 1000; // the service limits requests per second

    LocationPass(Catalogue& catalogue, Lookup lookup, QObject* parent = nullptr);
    ~LocationPass() override; // ends a lookup under way at once

    // One tick: writes "未知" for pending rows without a usable position, answers pending rows
    // from the cache, and starts a web lookup when none is under way. False when no row is
    // pending any more (the timer may stop).
    bool Tick();

    bool LookupUnderWay() const { return lookupUnderWay_; }
    int LookupsMade() const { return lookupsMade_; }

signals:
    void answerWritten();

private:
    void StartLookup(const QString& rowKey, const QString& cellKey, const QString& longitude, const QString& latitude);
    void Deliver(const QString& rowKey, const QString& cellKey, const QString& answer);

    Catalogue& catalogue_;
    Lookup lookup_;
    std::jthread worker_;
    bool lookupUnderWay_ = false;
    QString lookupCell_; // the cell being looked up
    int lookupsMade_ = 0;
    QElapsedTimer sinceRefusal_; // valid after a "..." answer
};
