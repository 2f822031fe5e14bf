#pragma once

#include "FloorReader.h"

struct sqlite3;

namespace ordisp {

// The floor on the database file, through sqlite3 on a connection of its own.
class SqliteFloorReader final : public FloorReader {
public:
    explicit SqliteFloorReader(const QString& path);
    ~SqliteFloorReader() override;
    SqliteFloorReader(const SqliteFloorReader&) = delete;
    SqliteFloorReader& operator=(const SqliteFloorReader&) = delete;

    bool open(QString* error) override;
    bool run(const QStringList& queries, qint64* cells, QString* error) override;

private:
    QString m_path;
    sqlite3* m_handle = nullptr;
};

} // namespace ordisp
