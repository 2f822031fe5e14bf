#pragma once

#include <QString>

class QSqlError;

namespace ordisp {

// A failure as the database layer reports it: the driver's native number (-1 when it has none),
// the driver's text and the driver's name (QSQLITE, QODBC, ...).
struct DbError {
    // What a failure says of the connection. Refused: the database answered and refused the
    // statement (a missing column, a constraint); opening again would not help. Busy: another
    // connection held a lock longer than the call would wait. Lost: the connection, or the file it
    // was opened on, is gone; opening again may help.
    enum class Kind { Refused, Busy, Lost };

    int number = 0;
    QString description;
    QString source;
    // The server let the call run past its deadline and the connection was dropped; a new login
    // right away would most likely hang as long again.
    bool timedOut = false;
    Kind kind = Kind::Refused;

    bool lost() const { return kind == Kind::Lost; }
    bool busy() const { return kind == Kind::Busy; }
    bool isSet() const { return number != 0 || !description.isEmpty(); }
    void clear() { *this = DbError{}; }

    // The driver's native code is the number; ODBC drivers often give 0 for failures of their own
    // (08001 and the like), which must not read as success.
    static DbError fromSqlError(const QSqlError& error, const QString& source);
};

// Fills *error when the caller asked for it.
inline void SetError(DbError* error, int number, const QString& description, const QString& source,
                     DbError::Kind kind = DbError::Kind::Refused) {
    if (error)
        *error = DbError{number, description, source, false, kind};
}

} // namespace ordisp
