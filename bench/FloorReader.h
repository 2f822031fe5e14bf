#pragma once

#include <QString>
#include <QStringList>

namespace ordisp {

// The least a program can do to show the list: run the queries through the database's own C
// interface, step every row and read every column, keeping nothing.
class FloorReader {
public:
    virtual ~FloorReader() = default;
    virtual bool open(QString* error) = 0;
    // Runs each query once; cells counts the columns read.
    virtual bool run(const QStringList& queries, qint64* cells, QString* error) = 0;
};

} // namespace ordisp
