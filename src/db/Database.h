#pragma once

#include "DataStamp.h"
#include "DbError.h"
#include "ResultSet.h"

#include <QString>

#include <memory>
#include <optional>

namespace ordisp {

class OdbcSession;

inline const QString kDbTypeSql = QStringLiteral("MS-SQL");
inline const QString kDbTypeJet = QStringLiteral("MS-JET");

// What the connection needs; for "MS-JET" only file counts, for "MS-SQL" the rest. Any type other
// than kDbTypeSql means the file.
struct ConnectionSettings {
    QString type; // kDbTypeSql or kDbTypeJet
    QString server;
    QString user;
    QString password;
    QString file;
    // For the administrator's tool: a missing SQLite file is created (see createSqliteFile).
    bool createFile = false;
};

// The one connection of the process. "MS-JET" is an SQLite file (QSQLITE), "MS-SQL" a server
// reached through ODBC (QODBC). All SQL passes through exec() and select().
class Database {
public:
    explicit Database(const QString& connectionName = QStringLiteral("DbConn"));
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Seconds a login, a connection or a statement may take before it fails; also how long the
    // SQLite file waits for another writer.
    static constexpr int kTimeoutSeconds = 10;

    // Creates no SQLite file unless settings.createFile: a missing file, or one that is not an SQLite
    // database, fails.
    // A file of zero bytes is an empty SQLite database to SQLite; it opens, is not written to, and
    // every query on its missing tables fails.
    bool open(const ConnectionSettings& settings, DbError* error = nullptr);
    bool isOpen() const;
    void close();
    // Close and open again with the settings of the last open(); the dialect values stay.
    bool reopen(DbError* error = nullptr);

    // Runs one statement; a returned row set is released unread.
    bool exec(const QString& sql, DbError* error = nullptr);
    // Runs a query and reads all of its rows with their column kinds. previous: the same statement's
    // last result; on the file a row that reads the same as one of it is that row, shared, not a
    // new one.
    bool select(const QString& sql, ResultData* out, DbError* error = nullptr,
                const ResultData* previous = nullptr);

    // The file's present stamp; none for the server (whose queries therefore always run) or when
    // the file cannot tell.
    std::optional<DataStamp> dataStamp();

    QString type() const { return m_settings.type; }
    const ConnectionSettings& settings() const { return m_settings; }
    QString connectionName() const { return m_name; }

    // The product behind the connection: "SQLite" for the file, else the ODBC DBMS name such as
    // "Microsoft SQL Server" or "PostgreSQL"; empty when closed.
    QString dbmsName() const;

    // Dialect values found by the start-up probes.
    QString dateLiteralStyle() const { return m_dateLiteralStyle; }
    void setDateLiteralStyle(const QString& style) { m_dateLiteralStyle = style; }
    qint16 trueValue() const { return m_trueValue; }
    void setTrueValue(qint16 value) { m_trueValue = value; }

    // The ODBC connection string for the server route. dsn: DbServer is a known data source and
    // driver is its driver; otherwise driver names the SQL Server driver to use. FreeTDS reads
    // braces its own way (see Database.cpp); empty when a value cannot be passed to it safely.
    static QString odbcConnectionString(const ConnectionSettings& settings, bool dsn, const QString& driver);
    // Wraps a value in braces, doubling any closing brace, when it holds a character that ODBC's
    // grammar gives a meaning ([]{}(),;?*=!@) or blanks at either end; such a value can then never
    // add attributes. A plain value stays bare: psqlODBC takes braces around UID or DATABASE as
    // part of the name.
    static QString odbcEscape(const QString& value);
    // Whether name can be an ODBC data-source name at all (no [ ] { } ( ) , ; ? * = ! @ \).
    static bool isValidDsnName(const QString& name);
    // Whether the ODBC driver manager knows a data source of that name (case-insensitive).
    static bool isKnownDataSource(const QString& name);
    // The first installed of ODBC Driver 18 for SQL Server, ODBC Driver 17 for SQL Server, FreeTDS;
    // empty when none is.
    static QString sqlServerDriver();

    // The SQLite URI that opens path read-write without creating it.
    static QString sqliteUri(const QString& path);
    // For the administrator's tool: creates an empty SQLite database at path. An existing file is
    // left as it is and only has to be an SQLite database.
    static bool createSqliteFile(const QString& path, DbError* error = nullptr);

private:
    bool openSqlite(DbError* error);
    bool openOdbc(DbError* error);
    bool isSqlite() const { return m_settings.type != kDbTypeSql; }
    QString source() const;
    // Runs sql; out == nullptr releases any rows unread.
    bool runSqlite(const QString& sql, ResultData* out, DbError* error, const ResultData* previous);
    bool runOdbc(const QString& sql, ResultData* out, DbError* error);

    bool openOdbcSession(const QString& connection, DbError* error);
    void closeOdbc();

    QString m_name;
    ConnectionSettings m_settings;
    // The server connection and the thread it runs on; null unless open on the server.
    std::shared_ptr<OdbcSession> m_odbc;
    QString m_dbmsName;
    quint64 m_sqliteConnection = 0; // numbers each opening of the file, for dataStamp()
    QString m_dateLiteralStyle;
    qint16 m_trueValue = 0;
};

} // namespace ordisp
