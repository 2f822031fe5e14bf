#pragma once

#include <QString>

namespace ordisp {

// A failure as the database layer reports it: the driver's native number (-1 when it has none),
// the driver's text and the driver's name (QSQLITE, QODBC, ...).
struct DbError {
    int number = 0;
    QString description;
    QString source;

    bool isSet() const { return number != 0 || !description.isEmpty(); }
    void clear() { *this = DbError{}; }
};

} // namespace ordisp
