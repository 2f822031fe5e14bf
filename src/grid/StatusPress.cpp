#include "StatusPress.h"

#include "Database.h"

namespace ordisp {

bool ReadOrRecover(Database& db, const ReadRows& read, DbError* error) {
    DbError failure;
    const bool ok = read(&failure) || (!failure.timedOut && db.reopen(&failure) && read(&failure));
    if (error)
        *error = failure;
    return ok;
}

PressOutcome RunPress(Database& db, const QString& sql, const ReadRows& read) {
    PressOutcome outcome;
    if (db.exec(sql, &outcome.error)) {
        outcome.written = true;
        outcome.readBack = ReadOrRecover(db, read, &outcome.error);
        return outcome;
    }
    // A rejected statement and a lost connection look alike; reading tells them apart.
    if (!outcome.error.timedOut && read(nullptr)) {
        outcome.readBack = true;
        return outcome;
    }
    const bool reopened = !outcome.error.timedOut && db.reopen(&outcome.error);
    outcome.written = reopened && db.exec(sql);
    outcome.readBack = reopened && read(&outcome.error);
    return outcome;
}

} // namespace ordisp
