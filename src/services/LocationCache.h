#pragma once
// The location cache Cha.mdb: an SQLite file with two key/value tables, "GPS" (place texts by
// position cell) and "INFO" (the user's answers to update and notice dialogs). One shared
// connection; every operation is one statement under one lock, from any thread.
//
// While no database is open (it could not be created or opened), QueryValue finds nothing and
// InsertValue and SaveValue store nothing; all three return false. The location pass then asks
// the web for every position, and dialog answers are not remembered.

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

// The cache key of a position: whole degrees and whole minutes of the longitude, then of the
// latitude, run together ("105353030" for longitude 105.5912, latitude 30.5130).
QString GpsCellKey(double longitude, double latitude);
