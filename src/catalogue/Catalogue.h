#pragma once
// The catalogue: one CatalogueEntry per listed file, in the list's order, and the set of listed
// keys. New entries are made here, and every change to an entry goes through here, so that the
// list and the keys always agree.
//
// Places the user typed are kept in the location cache by the file's key (name and shot time),
// so a file listed again, after a restart too, shows its typed place at once: its row is never
// pending, and the location pass, which only answers pending rows, leaves it alone.

#include "catalogue/CatalogueEntry.h"
#include "catalogue/CatalogueListModel.h"

#include <QHash>
#include <memory>
#include <optional>
#include <vector>

// What the scan found of one file.
struct NewEntry {
    QString path; // the file's full path
    MediaKind kind = MediaKind::Photo;
    qint64 bytes = 0;
    QDateTime shotTime; // a wall clock (WallClock), invalid when there was no valid date
    TimeSource shotTimeFrom = TimeSource::FileTime;
    std::optional<GeoPoint> position;
};

class Catalogue {
public:
    Catalogue();
    // Not copyable: the tooltip callback of the rows refers back to this catalogue.
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    // The list's model: rows to show, sort and select. Entries change through the catalogue.
    CatalogueListModel& rows() { return *rows_; }
    const CatalogueListModel& rows() const { return *rows_; }
    int Count() const { return rows_->rowCount(); }
    const CatalogueEntry& Entry(int row) const { return rows_->entry(row); }

    // The key of a row (its file's name and shot time).
    const QString& RowKey(int row) const { return rows_->entry(row).key; }
    // The row with that key (hint first: where it was last seen), or -1. Rows move when the
    // list is sorted or rows are removed; work that outlives a moment finds its row this way.
    int RowOfKey(const QString& key, int hint = -1) const;
    // Whether a row (shown or waiting to be shown) has this key. Constant time whatever the
    // number of rows.
    bool IsListed(const QString& key) const { return listedKeys_.contains(key); }

    // Makes an entry at the end of the list, with the place the user typed for the file
    // earlier or else pending. The entries made since the last Flush are shown together at the
    // next Flush.
    void AddEntry(const NewEntry& entry, const QString& rootText);
    void Flush();

    // Removes a row (the removal commands, and a file deleted from a preview window).
    void RemoveEntry(int row);
    // Removes every row.
    void Clear();

    // The user gave a row this place (in the list's form: pieces joined by single spaces). It
    // is kept for the row's file and wins over looked-up places from now on. An empty place,
    // or "..." (pending), forgets the file's typed place and makes the row pending: the location
    // pass looks it up again.
    void TypePlace(int row, const QString& place);
    // The place shown in a row and where it came from (the location pass, the editor while the
    // user types).
    void SetPlace(int row, const QString& place, PlaceState state) { rows_->setPlace(row, place, state); }
    // The export's progress or end word in a row's status column; ClearStatus empties them all.
    void SetStatus(int row, const QString& text) { rows_->setStatus(row, text); }
    void ClearStatus() { rows_->clearStatus(); }

    // The full path of a row's file, or empty for a row that is not there.
    QString SourcePath(int row) const;

private:
    std::unique_ptr<CatalogueListModel> rows_;
    std::vector<CatalogueEntry> pendingEntries_; // made, not yet shown
    QHash<QString, int> listedKeys_;             // key -> number of shown and pending entries with it
};
