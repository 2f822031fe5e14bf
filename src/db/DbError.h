#pragma once

#include <QString>

namespace ordisp {

// A failure as the database layer reports it: the driver's native number (-1 when it has none),
// the driver's text and the driver's name (QSQLITE, QODBC, ...).
struct DbError {
    int number = 0;
    QString description;
    QString source;
    // The server let the call run past its deadline and the connection was dropped; a new login
    // right away would most likely hang as long again.
    bool timedOut = false;

    bool isSet() const { return number != 0 || !description.isEmpty(); }
    void clear() { *this = DbError{}; }
};

} // namespace ordisp
