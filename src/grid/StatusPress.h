#pragma once

#include "DbError.h"

#include <QString>

#include <chrono>
#include <functional>

namespace ordisp {

class Database;

// How long a refresh waits for another program's lock, in all: the screen must not freeze. The
// window keeps what it showed and tries again at its next tick.
inline constexpr std::chrono::milliseconds kRefreshLockWait{500};

// Reads a window's rows again; false, with the error, when they cannot be read.
using ReadRows = std::function<bool(DbError* error)>;

// Reads, waiting at most kRefreshLockWait for locks; when the connection, or the file it stood
// for, is lost, opens the database at its place again and reads once more. A refused query or a
// lock is not mended by opening again, and a server that just let a call time out is not asked
// again within the same tick or press.
bool ReadOrRecover(Database& db, const ReadRows& read, DbError* error);

struct PressOutcome {
    bool written = false;   // the statement ran
    bool readBack = false;  // the rows were read afterwards
    DbError statementError; // why not written
    DbError readError;      // why not read back
};

// One press on "in Arbeit", "Fertig" or a delete button, the same in both windows: the statement,
// waiting for locks up to the full busy time-out, then the rows read again. When the connection
// is lost (a file replaced at its path among it), the database is opened at its place again and
// the statement, which changes one row by id and may safely run twice, tried there once more now
// and never kept for later. Whatever keeps the statement from running, the window must say that
// the change was not saved.
PressOutcome RunPress(Database& db, const QString& sql, const ReadRows& read);

} // namespace ordisp
