#include "SqliteConnection.h"

#include "SqliteRows.h"
#include "SqliteSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>

#include <sqlite3.h>

#include <atomic>
#include <cstring>

namespace ordisp {

namespace {

const QString kSqliteDriver = QStringLiteral("QSQLITE");
// Statements kept prepared: the change stamp, the list, the table list and the detail window's
// courses.
constexpr qsizetype kKeptQueries = 16;

struct StatementDeleter {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

sqlite3* sqliteHandle(const QSqlDatabase& db) {
    if (!db.isValid() || db.driver() == nullptr)
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || std::strcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

bool onlyBlanks(const char* text, const char* end) {
    for (; text < end; ++text) {
        if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n' && *text != ';')
            return false;
    }
    return true;
}

// SQLite takes a file of one byte for an empty database; any file that holds something must
// begin with SQLite's header.
bool holdsSomethingElse(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return false; // unreadable files fail in SQLite with its own message
    static const QByteArray header("SQLite format 3\0", 16);
    return file.read(header.size()) != header;
}

QString notSqliteText(const QString& path, const QString& detail) {
    return QStringLiteral("Die Datei '%1' ist keine SQLite-Datenbank (%2).").arg(path, detail);
}

// The checks both opening and creating make before SQLite sees the path.
bool checkPath(const QString& path, DbError* error) {
    if (path.isEmpty()) {
        SetError(error, -1, QStringLiteral("Es ist keine Datenbankdatei angegeben."), kSqliteDriver);
        return false;
    }
    if (holdsSomethingElse(path)) {
        SetError(error, SQLITE_NOTADB, notSqliteText(path, QString::fromUtf8(sqlite3_errstr(SQLITE_NOTADB))),
                 kSqliteDriver);
        return false;
    }
    return true;
}

// What an SQLite result code says of the file: another connection's lock, a file that cannot be
// read (or is no longer the one at the path), or a statement the database refused.
DbError::Kind kindOf(int code) {
    if (code == SQLITE_READONLY_DBMOVED)
        return DbError::Kind::Lost;
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return DbError::Kind::Busy;
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return DbError::Kind::Lost;
    default:
        return DbError::Kind::Refused;
    }
}

void setSqliteError(DbError* error, int code, const QString& description) {
    SetError(error, code, description, kSqliteDriver, kindOf(code));
}

void setHandleError(DbError* error) {
    SetError(error, -1, QStringLiteral("Der SQLite-Treiber gibt keinen Zugriff auf die Verbindung."),
             kSqliteDriver);
}

// Opening alone reads nothing; the schema read is what tells an SQLite file from any other.
bool readSchema(sqlite3* handle, const QString& path, DbError* error) {
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(handle, "SELECT count(*) FROM sqlite_master", -1, &raw, nullptr);
    const Statement probe(raw);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(probe.get());
    if (rc == SQLITE_ROW)
        return true;
    const int code = sqlite3_extended_errcode(handle);
    const QString text = QString::fromUtf8(sqlite3_errmsg(handle));
    if ((code & 0xff) == SQLITE_NOTADB)
        setSqliteError(error, code, notSqliteText(path, text));
    else
        setSqliteError(error, code,
                       QStringLiteral("Die Datei '%1' kann nicht gelesen werden: %2").arg(path, text));
    return false;
}

} // namespace

std::unique_ptr<SqliteConnection> SqliteConnection::open(const QString& connectionName,
                                                         const ConnectionSettings& settings,
                                                         std::chrono::milliseconds lockWait, DbError* error) {
    const QString& path = settings.file;
    if (settings.createFile && !path.isEmpty() && !QFileInfo::exists(path) && !createFile(path, error))
        return nullptr;
    if (!checkPath(path, error))
        return nullptr;
    QSqlDatabase db = QSqlDatabase::addDatabase(kSqliteDriver, connectionName);
    if (!db.isValid()) {
        SetError(error, -1, QStringLiteral("Der Qt-Datenbanktreiber QSQLITE ist nicht verfügbar."),
                 kSqliteDriver);
        return nullptr;
    }
    db.setDatabaseName(uri(path));
    db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(kDbTimeoutSeconds * 1000));
    if (!db.open()) {
        DbError e = DbError::fromSqlError(db.lastError(), kSqliteDriver);
        e.kind = kindOf(e.number);
        e.description =
            QStringLiteral("Die Datei '%1' konnte nicht geöffnet werden: %2").arg(path, e.description);
        if (error)
            *error = e;
        return nullptr;
    }
    sqlite3* handle = sqliteHandle(db);
    if (handle == nullptr) {
        db.close();
        setHandleError(error);
        return nullptr;
    }
    sqlite3_busy_timeout(handle, static_cast<int>(lockWait.count()));
    if (!readSchema(handle, path, error)) {
        db.close();
        return nullptr;
    }
    if (!registerSqliteFunctions(handle)) {
        const int code = sqlite3_extended_errcode(handle);
        const QString text = QString::fromUtf8(sqlite3_errmsg(handle));
        db.close();
        SetError(error, code == 0 ? -1 : code, text, kSqliteDriver);
        return nullptr;
    }
    static std::atomic<quint64> openedConnections{0};
    return std::unique_ptr<SqliteConnection>(
        new SqliteConnection(connectionName, path, ++openedConnections, lockWait));
}

SqliteConnection::SqliteConnection(QString connectionName, QString path, quint64 serial,
                                   std::chrono::milliseconds lockWait)
    : m_name(std::move(connectionName))
    , m_path(std::move(path))
    , m_serial(serial)
    , m_lockWait(lockWait) {}

SqliteConnection::~SqliteConnection() {
    // Before the connection closes: SQLite does not close one with a statement left.
    finalizeQueries();
    if (QSqlDatabase::contains(m_name)) {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        if (db.isOpen())
            db.close();
    }
}

bool SqliteConnection::isOpen() const {
    return QSqlDatabase::contains(m_name) && QSqlDatabase::database(m_name, false).isOpen();
}

sqlite3* SqliteConnection::handle() const {
    return sqliteHandle(QSqlDatabase::database(m_name, false));
}

bool SqliteConnection::fileReplaced() const {
    sqlite3* db = handle();
    int moved = 0;
    // SQLite compares the open file's inode with the one its path names now; a path that names
    // nothing counts as moved.
    return db != nullptr && sqlite3_file_control(db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
           moved != 0;
}

void SqliteConnection::setLockWait(std::chrono::milliseconds wait) {
    if (wait == m_lockWait)
        return;
    if (sqlite3* db = handle()) {
        // 0 takes the busy handler away: a lock held by another fails the call at once.
        sqlite3_busy_timeout(db, static_cast<int>(wait.count()));
        m_lockWait = wait;
    }
}

QString SqliteConnection::uri(const QString& path) {
    QString escaped;
    escaped.reserve(path.size());
    for (const QChar c : path) {
        if (c == QLatin1Char('%'))
            escaped += QLatin1String("%25");
        else if (c == QLatin1Char('?'))
            escaped += QLatin1String("%3f");
        else if (c == QLatin1Char('#'))
            escaped += QLatin1String("%23");
        else
            escaped += c;
    }
    // An empty authority ("file://" + "/path") keeps a path beginning with "//" from being read as
    // a host name.
    const QString prefix =
        path.startsWith(QLatin1Char('/')) ? QStringLiteral("file://") : QStringLiteral("file:");
    return prefix + escaped + QStringLiteral("?mode=rw");
}

bool SqliteConnection::createFile(const QString& path, DbError* error) {
    if (!checkPath(path, error))
        return false;
    const bool existed = QFileInfo::exists(path);
    sqlite3* handle = nullptr;
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    // An existing file is only read; a new one gets its header written so that it is an SQLite
    // file on disk, not an empty one.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(handle, existed ? "SELECT count(*) FROM sqlite_master" : "VACUUM", nullptr, nullptr,
                          nullptr);
    if (rc != SQLITE_OK) {
        const int code = handle ? sqlite3_extended_errcode(handle) : rc;
        const QString text =
            handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(handle);
        const QString description =
            (code & 0xff) == SQLITE_NOTADB
                ? notSqliteText(path, text)
                : QStringLiteral("Die Datei '%1' kann nicht angelegt werden: %2").arg(path, text);
        SetError(error, code, description, kSqliteDriver);
        return false;
    }
    sqlite3_close(handle);
    return true;
}

std::optional<DataStamp> SqliteConnection::dataStamp() {
    sqlite3* db = handle();
    // A replaced file tells nothing of the file at the path; the query that follows finds out.
    if (db == nullptr || fileReplaced())
        return std::nullopt;
    // data_version tells of commits by other connections, other processes included; the total of
    // changes of this connection's own rows; schema_version of tables made or dropped by anyone.
    // Asked at every tick, so kept prepared like the queries; reset after each use, so that it
    // holds no lock.
    static const QString sql = QStringLiteral("SELECT * FROM pragma_data_version, pragma_schema_version");
    sqlite3_stmt* statement = m_queries.value(sql);
    if (statement == nullptr) {
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
            return std::nullopt;
        keep(sql, statement);
    }
    std::optional<DataStamp> stamp;
    if (sqlite3_step(statement) == SQLITE_ROW)
        stamp = DataStamp{m_serial, sqlite3_column_int64(statement, 0), sqlite3_column_int64(statement, 1),
                          sqlite3_total_changes64(db)};
    sqlite3_reset(statement);
    return stamp;
}

bool SqliteConnection::run(const QString& sql, ResultData* out, DbError* error, const ResultData* previous) {
    sqlite3* db = handle();
    if (db == nullptr) {
        setHandleError(error);
        return false;
    }
    const auto failWithSqliteError = [&]() {
        setSqliteError(error, sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)));
        return false;
    };
    // A file no longer at the path is read by nobody: a write into it would be lost, and what it
    // reads is stale. Checked before every statement, as the path may change at any time.
    if (fileReplaced()) {
        setSqliteError(error, SQLITE_READONLY_DBMOVED,
                       QStringLiteral("Die Datei '%1' ist nicht mehr die Datenbank unter diesem Pfad "
                                      "(ersetzt, verschoben oder gelöscht).")
                           .arg(m_path));
        return false;
    }

    // Queries are kept prepared: the list is read at every changed tick. A kept statement is
    // reset after each run, so that it holds no lock, and dropped after a failure.
    sqlite3_stmt* statement = m_queries.value(sql);
    const bool kept = statement != nullptr;
    if (!kept) {
        const QByteArray text = translateJetSql(sql, true).toUtf8();
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db, text.constData(), static_cast<int>(text.size()), &statement, &tail) !=
            SQLITE_OK)
            return failWithSqliteError();
        // One statement per call, as with the Jet provider: text glued onto a statement never runs.
        if (tail != nullptr && !onlyBlanks(tail, text.constData() + text.size())) {
            sqlite3_finalize(statement);
            SetError(error, -1, QStringLiteral("Nach dem Ende der SQL-Anweisung folgen weitere Zeichen."),
                     kSqliteDriver);
            return false;
        }
        if (statement == nullptr)
            return true; // blanks or a comment only
    }
    const bool query = sqlite3_column_count(statement) > 0;
    bool failed = true;
    const auto done = qScopeGuard([&] {
        if (!query || failed) {
            m_queries.remove(sql);
            sqlite3_finalize(statement);
            return;
        }
        sqlite3_reset(statement);
        if (!kept)
            keep(sql, statement);
    });

    int rc = sqlite3_step(statement);
    // The columns as this run has them: SQLite prepares a kept statement anew when the schema
    // changed since, in its first step.
    const int columnCount = sqlite3_column_count(statement);
    if (out) {
        for (int i = 0; i < columnCount; ++i) {
            out->columns.append(ResultColumn{QString::fromUtf8(sqlite3_column_name(statement, i)),
                                             kindFromDeclaredType(sqlite3_column_decltype(statement, i))});
        }
    }
    PreviousRows unchanged(out ? previous : nullptr, out ? out->columns : QList<ResultColumn>());
    const SqliteCells cells(statement);
    for (; rc == SQLITE_ROW && out; rc = sqlite3_step(statement)) {
        if (const ResultRow* same = unchanged.match(cells)) {
            out->rows.append(*same);
            continue;
        }
        ResultRow row;
        row.reserve(columnCount);
        for (int i = 0; i < columnCount; ++i)
            row.append(SqliteValue(statement, i, out->columns.at(i).kind));
        out->rows.append(std::move(row));
    }
    while (rc == SQLITE_ROW)
        rc = sqlite3_step(statement);
    if (rc != SQLITE_DONE)
        return failWithSqliteError();
    failed = false;
    return true;
}

void SqliteConnection::keep(const QString& sql, sqlite3_stmt* statement) {
    if (m_queries.size() >= kKeptQueries)
        finalizeQueries();
    m_queries.insert(sql, statement);
}

void SqliteConnection::finalizeQueries() {
    for (sqlite3_stmt* statement : std::as_const(m_queries))
        sqlite3_finalize(statement);
    m_queries.clear();
}

} // namespace ordisp
