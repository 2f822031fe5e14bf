#pragma once

#include "DbError.h"

#include <QString>

#include <functional>

namespace ordisp {

class Database;

// Reads a window's rows again; false, with the error, when they cannot be read.
using ReadRows = std::function<bool(DbError* error)>;

// Reads; when that fails for any reason but a call that ran out of time (a dropped server
// connection still reports itself open, so only a fresh one recovers), opens the connection again
// and reads once more. A server that just let a call time out is not asked again within the same
// tick or press.
bool ReadOrRecover(Database& db, const ReadRows& read, DbError* error);

struct PressOutcome {
    bool written = false;  // the statement ran
    bool readBack = false; // the rows were read afterwards; false: the connection is lost
    DbError error;         // why, when not readBack
    // Neither written nor read back: the cook must be told that the press was lost.
    bool lost() const { return !written && !readBack; }
};

// One press on "in Arbeit", "Fertig" or a delete button, the same in both windows: the statement,
// then the rows read again. A statement that fails on a connection whose rows still read was
// refused by the database. Otherwise the connection is opened again and the statement, which
// changes one row by id and may safely run twice, tried once more now and never kept for later.
PressOutcome RunPress(Database& db, const QString& sql, const ReadRows& read);

} // namespace ordisp
