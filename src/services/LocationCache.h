#pragma once
// The location cache Cha.mdb: an SQLite file with key/value tables: "GPS" (place texts by
// position cell), "INFO" (the user's answers to update and notice dialogs) and "TYPED" (the
// places the user typed, by file). One shared connection; every operation is one statement
// under one lock, from any thread.
//
// While no database is open (it could not be created or opened), nothing is found and nothing
// is stored; every operation returns false. The location pass then asks the web for every
// position, dialog answers are not remembered and typed places last until the program ends.

#include <QString>

enum class CacheOpenOutcome {
    Opened,       // an existing file
    Created,      // a new file with empty tables
    CreateFailed, // no file, and none could be made: "数据库创建失败"
    OpenFailed,   // a file that cannot be used (locked, damaged, not a database); see error
};

struct CacheOpenResult {
    CacheOpenOutcome outcome;
    QString error;
};

CacheOpenResult OpenCacheDb(const QString& path);
void CloseCacheDb();
bool CacheDbIsOpen();

// The value stored under key in table ("GPS" or "INFO"); value is left alone when not found.
bool QueryValue(const QString& key, const QString& table, QString& value);
// Stores a new key; false when it exists already or nothing could be stored.
bool InsertValue(const QString& key, const QString& value, const QString& table);
// Stores a value under key, replacing an existing one.
bool SaveValue(const QString& key, const QString& value, const QString& table);

// The place the user typed for a file, by the file's catalogue key (its name and shot time,
// which stay the same when the card is listed again, after a restart too). A typed place wins
// over whatever the geocoders answer for the file's position.
bool LoadTypedPlace(const QString& fileKey, QString& place); // place is left alone when none
bool SaveTypedPlace(const QString& fileKey, const QString& place);
// Forgets the typed place of a file (false only when nothing could be done, not when there was
// none): its place is looked up again.
bool ForgetTypedPlace(const QString& fileKey);

// The cache key of a position: whole degrees and whole minutes of the longitude, then of the
// latitude, run together ("105353030" for longitude 105.5912, latitude 30.5130).
QString GpsCellKey(double longitude, double latitude);
