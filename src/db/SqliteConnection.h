#pragma once

#include "Connection.h"
#include "ConnectionSettings.h"

#include <memory>

struct sqlite3;

namespace ordisp {

// The local database file: an SQLite file opened through Qt's QSQLITE, read through SQLite's own
// interface for the column kinds and for rows that read as before.
class SqliteConnection final : public Connection {
public:
    // Opens settings.file, which must exist and be an SQLite database (or is created first when
    // settings.createFile). A file of zero bytes is an empty SQLite database to SQLite; it opens,
    // is not written to, and every query on its missing tables fails.
    static std::unique_ptr<SqliteConnection> open(const QString& connectionName,
                                                  const ConnectionSettings& settings, DbError* error);
    ~SqliteConnection() override;

    bool isOpen() const override;
    bool run(const QString& sql, ResultData* out, DbError* error, const ResultData* previous) override;
    std::optional<DataStamp> dataStamp() override;
    QString dbmsName() const override { return QStringLiteral("SQLite"); }

    // The SQLite URI that opens path read-write without creating it.
    static QString uri(const QString& path);
    // For the administrator's tool: creates an empty SQLite database at path. An existing file is
    // left as it is and only has to be an SQLite database.
    [[nodiscard]] static bool createFile(const QString& path, DbError* error = nullptr);

private:
    SqliteConnection(QString connectionName, quint64 serial);
    sqlite3* handle() const;

    const QString m_name;
    const quint64 m_serial; // numbers each opening of a file, for dataStamp()
};

} // namespace ordisp
