#include "services/LocationCache.h"

#include "core/Helpers.h"

#include <QFile>
#include <QFileInfo>
#include <array>
#include <mutex>
#include <sqlite3.h>

namespace {

enum Table { kGps = 0, kInfo = 1, kTyped = 2 };
enum Statement { kSelect = 0, kInsert = 1, kUpdate = 2, kDelete = 3 };
constexpr size_t kTables = 3;
constexpr size_t kStatements = 4;

// Guards db and statements: one statement at a time, from preparing to resetting.
std::recursive_mutex dbMutex;
sqlite3* db = nullptr;
std::array<std::array<sqlite3_stmt*, kStatements>, kTables> statements{};

// Only the typed places are ever deleted; GPS and INFO keep what they are given.
const char* const kStatementTexts[kTables][kStatements] = {
    {"SELECT Kvalue FROM GPS WHERE ID=?1", "INSERT INTO GPS (ID, Kvalue) VALUES (?1, ?2)",
     "UPDATE GPS SET Kvalue=?2 WHERE ID=?1", nullptr},
    {"SELECT Kvalue FROM INFO WHERE ID=?1", "INSERT INTO INFO (ID, Kvalue) VALUES (?1, ?2)",
     "UPDATE INFO SET Kvalue=?2 WHERE ID=?1", nullptr},
    {"SELECT Kvalue FROM TYPED WHERE ID=?1", "INSERT INTO TYPED (ID, Kvalue) VALUES (?1, ?2)",
     "UPDATE TYPED SET Kvalue=?2 WHERE ID=?1", "DELETE FROM TYPED WHERE ID=?1"},
};

std::optional<Table> TableOf(const QString& name)
{
    if (name == QLatin1String("GPS"))
        return kGps;
    if (name == QLatin1String("INFO"))
        return kInfo;
    return std::nullopt;
}

QString LastError()
{
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
}

void CloseLocked()
{
    for (auto& table : statements)
        for (sqlite3_stmt*& statement : table) {
            sqlite3_finalize(statement);
            statement = nullptr;
        }
    sqlite3_close_v2(db);
    db = nullptr;
}

bool Exec(const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Prepares the statements; false when the file is no usable database.
bool PrepareLocked()
{
    if (!Exec("PRAGMA journal_mode=WAL") && !Exec("SELECT count(*) FROM sqlite_master"))
        return false;
    Exec("PRAGMA synchronous=NORMAL");
    sqlite3_busy_timeout(db, 2000);
    // An existing database without the tables (an empty file, say) gets them.
    Exec("CREATE TABLE IF NOT EXISTS GPS (ID varchar PRIMARY KEY,Kvalue varchar)");
    Exec("CREATE TABLE IF NOT EXISTS INFO (ID varchar PRIMARY KEY,Kvalue varchar)");
    // The places the user typed, by file: a table of their own, so that nothing the
    // geocoders answer is ever mistaken for them. Files made before it get it here.
    Exec("CREATE TABLE IF NOT EXISTS TYPED (ID varchar PRIMARY KEY,Kvalue varchar)");
    for (size_t table = 0; table < kTables; ++table)
        for (size_t statement = 0; statement < kStatements; ++statement)
            if (kStatementTexts[table][statement]
                && sqlite3_prepare_v3(db, kStatementTexts[table][statement], -1, SQLITE_PREPARE_PERSISTENT,
                                      &statements[table][statement], nullptr)
                    != SQLITE_OK)
                return false;
    return true;
}

// Binds the texts, runs the statement to its end (or its first row) and resets it.
struct Run {
    sqlite3_stmt* statement;
    int result = SQLITE_ERROR;
    Run(sqlite3_stmt* s, const QString& key, const QString* value)
        : statement(s)
    {
        const QByteArray keyBytes = key.toUtf8();
        const QByteArray valueBytes = value ? value->toUtf8() : QByteArray();
        sqlite3_bind_text(statement, 1, keyBytes.constData(), int(keyBytes.size()), SQLITE_TRANSIENT);
        if (value)
            sqlite3_bind_text(statement, 2, valueBytes.constData(), int(valueBytes.size()), SQLITE_TRANSIENT);
        result = sqlite3_step(statement);
    }
    ~Run()
    {
        sqlite3_reset(statement);
        sqlite3_clear_bindings(statement);
    }
};

bool QueryLocked(Table table, const QString& key, QString& value)
{
    Run run(statements[table][kSelect], key, nullptr);
    if (run.result != SQLITE_ROW)
        return false;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(run.statement, 0));
    value = QString::fromUtf8(text, sqlite3_column_bytes(run.statement, 0));
    return true;
}

bool WriteLocked(Table table, Statement which, const QString& key, const QString& value)
{
    Run run(statements[table][which], key, &value);
    return run.result == SQLITE_DONE;
}

bool SaveLocked(Table table, const QString& key, const QString& value)
{
    QString existing;
    return WriteLocked(table, QueryLocked(table, key, existing) ? kUpdate : kInsert, key, value);
}

} // namespace

CacheOpenResult OpenCacheDb(const QString& path)
{
    std::lock_guard lock(dbMutex);
    if (db)
        CloseLocked();
    const QByteArray file = QFile::encodeName(path);
    if (QFileInfo::exists(path)) {
        if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK
            || !PrepareLocked()) {
            const QString error = QStringLiteral("%1: %2").arg(path, LastError());
            CloseLocked();
            return {CacheOpenOutcome::OpenFailed, error};
        }
        return {CacheOpenOutcome::Opened, {}};
    }
    const bool created =
        sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) == SQLITE_OK
        && Exec("CREATE   TABLE   GPS   (ID varchar   PRIMARY   KEY,Kvalue varchar  )")
        && Exec("CREATE   TABLE   INFO   (ID varchar   PRIMARY   KEY,Kvalue varchar  )") && PrepareLocked();
    if (!created) {
        const QString error = LastError();
        CloseLocked();
        QFile::remove(path); // leave no half-made database behind
        return {CacheOpenOutcome::CreateFailed, error};
    }
    return {CacheOpenOutcome::Created, {}};
}

void CloseCacheDb()
{
    std::lock_guard lock(dbMutex);
    if (db)
        CloseLocked();
}

bool CacheDbIsOpen()
{
    std::lock_guard lock(dbMutex);
    return db != nullptr;
}

bool QueryValue(const QString& key, const QString& table, QString& value)
{
    const auto which = TableOf(table);
    std::lock_guard lock(dbMutex);
    return db && which && QueryLocked(*which, key, value);
}

bool InsertValue(const QString& key, const QString& value, const QString& table)
{
    const auto which = TableOf(table);
    std::lock_guard lock(dbMutex);
    return db && which && WriteLocked(*which, kInsert, key, value);
}

bool SaveValue(const QString& key, const QString& value, const QString& table)
{
    const auto which = TableOf(table);
    std::lock_guard lock(dbMutex); // the look-up and the write are one step for other threads
    return db && which && SaveLocked(*which, key, value);
}

bool LoadTypedPlace(const QString& fileKey, QString& place)
{
    std::lock_guard lock(dbMutex);
    return db && QueryLocked(kTyped, fileKey, place);
}

bool SaveTypedPlace(const QString& fileKey, const QString& place)
{
    std::lock_guard lock(dbMutex);
    return db && SaveLocked(kTyped, fileKey, place);
}

bool ForgetTypedPlace(const QString& fileKey)
{
    std::lock_guard lock(dbMutex);
    if (!db)
        return false;
    Run run(statements[kTyped][kDelete], fileKey, nullptr);
    return run.result == SQLITE_DONE;
}

QString GpsCellKey(double longitude, double latitude)
{
    const TGpsinf g1 = DegToDms(longitude);
    const TGpsinf g2 = DegToDms(latitude);
    return g1.H + g1.M + g2.H + g2.M;
}
