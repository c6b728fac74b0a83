#pragma once
// The location pass: turns the pending rows' positions ("..." in the place column) into place
// texts, from the answers it has had in this pass, the location cache, or the geocoders (the
// web, the offline data, as the resolver chooses). It runs in short ticks on the UI thread: each
// tick sweeps on through the list for at most kTickBudgetMs. Cells nobody knows yet wait in a
// queue for the web, asked one at a time on a background task; an answer is written into the
// row it was asked for, wherever that row is by then, and the rest of that cell's rows take it
// on the next sweep. While every pending row waits for the web, the ticks cost nothing.

#include "catalogue/CatalogueEntry.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <deque>
#include <memory>

class BackgroundTask;
class Catalogue;
class PlaceResolver;
struct PlaceAnswer;

class LocationPass : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickBudgetMs = 2;           // UI-thread time per tick at most (about)
    static constexpr int kRetryAfterRefusalMs = 1000; // the service limits requests per second

    LocationPass(Catalogue& catalogue, std::unique_ptr<PlaceResolver> resolver, QObject* parent = nullptr);
    ~LocationPass() override; // ends a lookup under way at once

    // A new pass (a scan or a drop starts one): the web is tried again, earlier answers are
    // asked again, and the user is told again where the places come from.
    void BeginPass();

    // One tick. False when a whole sweep found no row pending any more (the timer may stop).
    bool Tick();

    bool LookupUnderWay() const { return lookupUnderWay_; }
    int LookupsMade() const { return lookupsMade_; }
    // The rows still waiting for a place (as far as the pass knows).
    int Remaining() const { return remaining_; }

signals:
    void answerWritten();
    // Once per pass each: places were named offline, the offline data could not be used, or
    // the place service could not be reached.
    void statusMessage(const QString& text);
    // How many rows still wait for a place; 0 when the pass is done.
    void progress(int remaining);
    // A row was made pending by someone else than the pass (a typed place was cleared, or
    // "..." typed): the ticks are wanted again, also after the pass had ended.
    void placesWanted();

private:
    struct Question {
        QString rowKey;
        int rowHint; // where the row was when asked
        QString cell;
        QString longitude;
        QString latitude;
    };
    enum class RowState { Done, Waiting, NotPending };

    // Answers one row if it can; Waiting when it needs the web (its cell is then queued).
    RowState Visit(int row);
    void Write(int row, const QString& place, PlaceState state);
    void StartNextLookup();
    void StartLookup(const Question& question);
    void Deliver(const Question& question, const PlaceAnswer& answer);
    void Tell(const PlaceAnswer& answer);
    void SetRemaining(int remaining);
    int CountPending(int first, int last) const;
    void Disturbed(); // the list changed: the sweep must look again

    Catalogue& catalogue_;
    std::unique_ptr<PlaceResolver> resolver_; // used by the lookup thread and the ticks
    bool toldOffline_ = false;
    bool toldOfflineError_ = false;
    bool toldUnreachable_ = false;

    struct Found {
        QString place;
        PlaceState state = PlaceState::Pending;
    };
    QHash<QString, Found> answers_; // cell -> place, found in this pass
    QSet<QString> notCached_;         // cells the cache did not know in this pass
    std::deque<Question> webQueue_;   // cells waiting for the web, one question each
    QSet<QString> queued_;            // their cells

    int cursor_ = 0;           // the sweep's next row
    int pendingInSweep_ = 0;   // rows of this sweep left pending
    bool disturbed_ = false;   // the list changed during this sweep
    bool idle_ = false;        // a whole sweep found only rows waiting for the web
    bool writing_ = false;     // the pass is writing a place
    int remaining_ = 0;

    std::shared_ptr<BackgroundTask> lookup_; // the last lookup; it ends before the pass goes
    bool lookupUnderWay_ = false;
    QString lookupCell_; // the cell being looked up
    int lookupsMade_ = 0;
    QElapsedTimer sinceRefusal_; // valid after a "..." answer
};

// The status bar's text about places: how many rows still wait, and what the pass told.
QString PlaceStatusLine(int remaining, const QStringList& notes);
