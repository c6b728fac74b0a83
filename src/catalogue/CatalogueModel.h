#pragma once
// The catalogue's records: one Listviewdata per listed file, found by its CatalogueKey.

#include <QHashFunctions>
#include <QString>
#include <memory>
#include <unordered_map>

struct Listviewdata {
    QString filename;     // file name with extension, without folder
    QString spath;        // the file's folder with trailing "/", relative to sroot when sroot is set
    QString filetype;     // "图片" or "视频"
    qint32 filesize = 0;  // carries nothing; the shown size is the row's text
    QString filegps;      // "longitude,latitude" with four decimals; "0.0000,0.0000" = no position
    QString filelocation; // created empty, never used afterwards
    QString filemaketime; // shot time "yyyy/mm/dd hh:mm:ss"
    // The catalogue root that spath was made relative to, as it was then (empty when spath is
    // the whole folder). Keeping it means a row still names its own file after the user has
    // chosen another root.
    QString sroot;
};
using PListviewdata = Listviewdata*;

// Position text of a file without a position.
inline const QString kNoPosition = QStringLiteral("0.0000,0.0000");

// File name followed by shot time, with characters U+0000..U+0020 trimmed from both ends.
QString CatalogueKey(const QString& filename, const QString& filemaketime);

// Sets spath and sroot of a record for a file in folder (with trailing "/"). rootText is the
// catalogue root; it is trimmed of U+0000..U+0020. A folder that begins with the root keeps the
// part below the root; any other folder is kept whole.
void SetRecordFolder(Listviewdata& record, const QString& folder, const QString& rootText);

// The full path of a record's file: sroot + spath + filename.
QString RecordPath(const Listviewdata& record);

// Owns the records, keyed by CatalogueKey (exact, case-sensitive). Lookup is constant time.
class CatalogueIndex {
public:
    // Stores a record under key; a record already stored there is freed and replaced.
    PListviewdata insert(const QString& key, std::unique_ptr<Listviewdata> record);
    // The record stored under key, or nullptr.
    PListviewdata find(const QString& key) const;
    // Frees the record under key; false when there was none.
    bool remove(const QString& key);
    // Frees every record.
    void clear();
    size_t size() const { return records_.size(); }

private:
    struct KeyHash {
        size_t operator()(const QString& key) const { return qHash(key); }
    };
    std::unordered_map<QString, std::unique_ptr<Listviewdata>, KeyHash> records_;
};
