#pragma once

#include "Connection.h"
#include "ConnectionSettings.h"

#include <QHash>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace ordisp {

// The local database file: an SQLite file opened through Qt's QSQLITE, read through SQLite's own
// interface for the column kinds and for rows that read as before.
class SqliteConnection final : public Connection {
public:
    // Opens settings.file, which must exist and be an SQLite database (or is created first when
    // settings.createFile). A file of zero bytes is an empty SQLite database to SQLite; it opens,
    // is not written to, and every query on its missing tables fails. lockWait: how long the
    // opening may wait for another connection's lock.
    static std::unique_ptr<SqliteConnection> open(const QString& connectionName,
                                                  const ConnectionSettings& settings,
                                                  std::chrono::milliseconds lockWait, DbError* error);
    ~SqliteConnection() override;
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    bool isOpen() const override;
    bool run(const QString& sql, ResultData* out, DbError* error, const ResultData* previous) override;
    std::optional<DataStamp> dataStamp() override;
    void setLockWait(std::chrono::milliseconds wait) override;
    QString dbmsName() const override { return QStringLiteral("SQLite"); }

    // The SQLite URI that opens path read-write without creating it.
    static QString uri(const QString& path);
    // For the administrator's tool: creates an empty SQLite database at path. An existing file is
    // left as it is and only has to be an SQLite database.
    [[nodiscard]] static bool createFile(const QString& path, DbError* error = nullptr);

    // Whether the path no longer names the file this connection has open: replaced (a backup
    // moved over it), moved away or deleted. Such a file is read and written by nobody else.
    bool fileReplaced() const;

private:
    SqliteConnection(QString connectionName, QString path, quint64 serial,
                     std::chrono::milliseconds lockWait);
    sqlite3* handle() const;
    // Keeps a prepared statement under its text; a full store is emptied first.
    void keep(const QString& sql, sqlite3_stmt* statement);
    void finalizeQueries();

    const QString m_name;
    const QString m_path;
    const quint64 m_serial; // numbers each opening of a file, for dataStamp()
    std::chrono::milliseconds m_lockWait;
    QHash<QString, sqlite3_stmt*> m_queries; // kept prepared by their text, for run() and dataStamp()
};

} // namespace ordisp
