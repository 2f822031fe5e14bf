#pragma once

#include "FloorReader.h"

namespace ordisp {

// The floor on a server, through the ODBC API on a connection of its own: every column bound as
// text, as a program that only shows values would read it, rows fetched in blocks.
class OdbcFloorReader final : public FloorReader {
public:
    explicit OdbcFloorReader(const QString& connectionString);
    ~OdbcFloorReader() override;
    OdbcFloorReader(const OdbcFloorReader&) = delete;
    OdbcFloorReader& operator=(const OdbcFloorReader&) = delete;

    bool open(QString* error) override;
    bool run(const QStringList& queries, qint64* cells, QString* error) override;

private:
    QString m_connectionString;
    void* m_env = nullptr;
    void* m_dbc = nullptr;
};

} // namespace ordisp
