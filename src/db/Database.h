#pragma once

#include "DbError.h"
#include "ResultSet.h"

#include <QString>

namespace ordisp {

inline const QString kDbTypeSql = QStringLiteral("MS-SQL");
inline const QString kDbTypeJet = QStringLiteral("MS-JET");

// What the connection needs; for "MS-JET" only file counts, for "MS-SQL" the rest.
struct ConnectionSettings {
    QString type; // kDbTypeSql or kDbTypeJet
    QString server;
    QString user;
    QString password;
    QString file;
};

// The one connection of the process. "MS-JET" is an SQLite file (QSQLITE), "MS-SQL" a server
// reached through ODBC (QODBC). All SQL passes through exec() and select().
class Database {
public:
    explicit Database(const QString& connectionName = QStringLiteral("DbConn"));
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    bool open(const ConnectionSettings& settings, DbError* error = nullptr);
    bool isOpen() const;
    void close();
    // Close and open again with the settings of the last open(); the dialect values stay.
    bool reopen(DbError* error = nullptr);

    // Runs one statement; a returned row set is released unread.
    bool exec(const QString& sql, DbError* error = nullptr);
    // Runs a query and reads all of its rows with their column kinds.
    bool select(const QString& sql, ResultData* out, DbError* error = nullptr);

    QString type() const { return m_settings.type; }
    const ConnectionSettings& settings() const { return m_settings; }
    QString connectionName() const { return m_name; }

    // Dialect values found by the start-up probes.
    QString dateLiteralStyle() const { return m_dateLiteralStyle; }
    void setDateLiteralStyle(const QString& style) { m_dateLiteralStyle = style; }
    qint16 trueValue() const { return m_trueValue; }
    void setTrueValue(qint16 value) { m_trueValue = value; }

    // The ODBC connection string for the server route. dsn: DbServer is a known data source;
    // otherwise driver names the SQL Server driver to use.
    static QString odbcConnectionString(const ConnectionSettings& settings, bool dsn, const QString& driver);
    // Wraps a value in braces, doubling any closing brace, as ODBC requires.
    static QString odbcEscape(const QString& value);
    // Whether name can be an ODBC data-source name at all (no [ ] { } ( ) , ; ? * = ! @ \).
    static bool isValidDsnName(const QString& name);

private:
    bool openSqlite(DbError* error);
    bool openOdbc(DbError* error);

    QString m_name;
    ConnectionSettings m_settings;
    QString m_dateLiteralStyle;
    qint16 m_trueValue = 0;
};

} // namespace ordisp
