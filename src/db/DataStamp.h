#pragma once

#include <QString>

namespace ordisp {

// The state of a database's data as of one moment: two equal stamps of one connection mean that
// nothing was written in between, by it or by anyone else.
struct DataStamp {
    DataStamp() = default;
    DataStamp(quint64 opening, qint64 commits, qint64 tables, qint64 ownChanges)
        : connection(opening)
        , version(commits)
        , schema(tables)
        , changes(ownChanges) {}

    quint64 connection = 0; // which opening of the connection
    qint64 version = 0;     // moves with every commit of another connection
    qint64 schema = 0;      // moves with every table made, changed or dropped
    qint64 changes = 0;     // moves with every row this connection writes
    QString snapshot;       // a server's snapshot of committed transactions
    bool operator==(const DataStamp& other) const = default;
};

} // namespace ordisp
