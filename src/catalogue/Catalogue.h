#pragma once
// The catalogue: the list's rows and, behind each row, its record in the index. New entries
// are made here, so that the rows, the records and the set of listed keys always agree.
//
// Places the user typed are kept in the location cache by the file's key (name and shot time),
// so a file listed again, after a restart too, shows its typed place at once: its row is never
// pending, and the location pass, which only answers pending rows, leaves it alone.

#include "catalogue/CatalogueListModel.h"
#include "catalogue/CatalogueModel.h"

#include <QHash>
#include <memory>
#include <vector>

// Everything entry creation knows about one file.
struct NewEntry {
    QString path;      // the file's full path
    bool photo = true; // a photo ("图片", picture 6) or a video ("视频", picture 7)
    QString sizeText;
    QString position;  // filegps form
    QString shotTime;  // filemaketime form
};

inline const QString kTypePhoto = QStringLiteral("图片");
inline const QString kTypeVideo = QStringLiteral("视频");

class Catalogue {
public:
    Catalogue();
    // Its list model asks it for tooltips: it stays where it was made.
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    CatalogueListModel& rows() { return *rows_; }
    const CatalogueListModel& rows() const { return *rows_; }
    CatalogueIndex& index() { return index_; }
    const CatalogueIndex& index() const { return index_; }

    // The key of a row, formed from its name and shot-time texts.
    QString RowKey(int row) const;
    // The row with that key (hint first: where it was last seen), or -1. Rows move when the
    // list is sorted or rows are removed; work that outlives a moment finds its row this way.
    int RowOfKey(const QString& key, int hint = -1) const;
    // Whether a row (shown or waiting to be shown) has this name and shot time. Constant time
    // whatever the number of rows.
    bool IsListed(const QString& name, const QString& shotTime) const;

    // Makes an entry: its record at once, its row at the end of the list, with the place the
    // user typed for the file earlier or else pending. The rows made since the last Flush are
    // shown together at the next Flush.
    void AddEntry(const NewEntry& entry, const QString& rootText);
    void Flush();

    // Removes a row and releases its record (the removal commands).
    void RemoveEntry(int row);
    // Removes every row and releases every record.
    void Clear();

    // Removes a row from the list; its record stays in the index (the preview windows delete
    // rows this way).
    void RemoveRow(int row);

    // The user gave a row this place (in the list's form: pieces joined by single spaces). It
    // is kept for the row's file and wins over looked-up places from now on. An empty place,
    // or "..." (pending), forgets the file's typed place and makes the row pending: the location
    // pass looks it up again.
    void TypePlace(int row, const QString& place);

    // The full path of a row's file, or empty when the row has no record.
    QString SourcePath(int row) const;

private:
    std::unique_ptr<CatalogueListModel> rows_;
    std::vector<CatalogueRow> pendingRows_;
    CatalogueIndex index_;
    QHash<QString, int> listedKeys_; // key -> number of rows with it
};
