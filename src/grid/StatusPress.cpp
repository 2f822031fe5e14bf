#include "StatusPress.h"

#include "Database.h"

namespace ordisp {

bool ReadOrRecover(Database& db, const ReadRows& read, DbError* error) {
    const Database::LockWaitLimit limit(db, kRefreshLockWait);
    DbError failure;
    bool ok = read(&failure);
    if (!ok && failure.lost() && !failure.timedOut)
        ok = db.reopen(&failure) && read(&failure);
    if (error)
        *error = ok ? DbError() : failure;
    return ok;
}

PressOutcome RunPress(Database& db, const QString& sql, const ReadRows& read) {
    PressOutcome outcome;
    DbError& failure = outcome.statementError;
    outcome.written = db.exec(sql, &failure);
    if (!outcome.written && failure.lost()) {
        if (failure.timedOut || !db.reopen(&failure)) {
            // Nothing to read from either.
            outcome.readError = failure;
            return outcome;
        }
        outcome.written = db.exec(sql, &failure);
    }
    if (outcome.written)
        failure.clear();
    outcome.readBack = ReadOrRecover(db, read, &outcome.readError);
    return outcome;
}

} // namespace ordisp
