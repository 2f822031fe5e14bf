#pragma once

#include <QtGlobal>

namespace ordisp {

// The state of a database file's data as of one moment: two equal stamps of one connection mean
// that nothing was written in between, by it or by anyone else.
struct DataStamp {
    quint64 connection = 0; // which opening of the file
    qint64 version = 0;     // moves with every commit of another connection
    qint64 schema = 0;      // moves with every table made, changed or dropped
    qint64 changes = 0;     // moves with every row this connection writes
    bool operator==(const DataStamp& other) const = default;
};

} // namespace ordisp
