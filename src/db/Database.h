#pragma once

#include "ConnectionSettings.h"
#include "DataStamp.h"
#include "DbError.h"
#include "ResultSet.h"

#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace ordisp {

class Connection;

// The one connection of the process: the local file (SQLite) or a server reached through ODBC,
// chosen by the settings' type when it opens. All SQL passes through exec() and select().
class Database {
public:
    explicit Database(const QString& connectionName = QStringLiteral("DbConn"));
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    static constexpr int kTimeoutSeconds = kDbTimeoutSeconds;

    // Creates no file unless settings.createFile: a missing file, or one that is not an SQLite
    // database, fails.
    [[nodiscard]] bool open(const ConnectionSettings& settings, DbError* error = nullptr);
    bool isOpen() const;
    void close();
    // Close and open again with the settings of the last open(); the dialect values stay.
    [[nodiscard]] bool reopen(DbError* error = nullptr);

    // While one lives, the database's statements wait for other connections' locks only until one
    // common deadline, not each up to the full busy time-out: a refresh that meets a lock gives up
    // after about limit and keeps what it showed. Limits nest; the inner one cannot extend the outer.
    class LockWaitLimit {
    public:
        LockWaitLimit(Database& db, std::chrono::milliseconds limit);
        ~LockWaitLimit();
        LockWaitLimit(const LockWaitLimit&) = delete;
        LockWaitLimit& operator=(const LockWaitLimit&) = delete;

    private:
        Database& m_db;
        std::optional<std::chrono::steady_clock::time_point> m_outer;
    };

    // Runs one statement; a returned row set is released unread. A failure says in error->kind
    // whether the connection was lost, the database busy, or the statement refused.
    [[nodiscard]] bool exec(const QString& sql, DbError* error = nullptr);
    // Runs a query and reads all of its rows with their column kinds. previous: the same statement's
    // last result; on the file a row that reads the same as one of it is that row, shared, not a
    // new one.
    [[nodiscard]] bool select(const QString& sql, ResultData* out, DbError* error = nullptr,
                              const ResultData* previous = nullptr);

    // The present stamp of the file or of a PostgreSQL server (see OdbcConnection::dataStamp);
    // none for other servers (whose queries therefore always run) or when the database cannot tell.
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

private:
    bool run(const QString& sql, ResultData* out, DbError* error, const ResultData* previous);
    // How long a lock may be waited for now: the full busy time-out, or what is left of the limit.
    std::chrono::milliseconds lockWait() const;

    QString m_name;
    ConnectionSettings m_settings;
    // The driver's name for errors while no connection is open.
    QString m_source = QStringLiteral("QSQLITE");
    std::unique_ptr<Connection> m_connection;
    QString m_dateLiteralStyle;
    qint16 m_trueValue = 0;
    std::optional<std::chrono::steady_clock::time_point> m_waitUntil;
};

} // namespace ordisp
