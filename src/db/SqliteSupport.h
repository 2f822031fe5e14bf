#pragma once

#include "ResultSet.h"

#include <QString>

struct sqlite3;

namespace ordisp {

// Pieces of the SQLite back end that the connection needs and tests reach directly.

// The kind of a column from its declared type, e.g. "VARCHAR(255)" or "DATETIME"; no declared type
// (an expression) is Other.
ColumnKind kindFromDeclaredType(const char* declaredType);

// Jet literals #MM/DD/YYYY hh:mm:ss# outside quoted strings become 'YYYY-MM-DD hh:mm:ss'. With
// compareStoredTimes, a literal compared with a plain column ("insdate < #...#") compares
// ordisp_time(column) instead, so that a time a terminal stored as a number is not mistaken for
// one that sorts before every text.
QString translateJetSql(const QString& sql, bool compareStoredTimes);

// Registers ordisp_time(x) on a connection: stored times (text and numbers, read as
// parseStoredDateTime and dateTimeFromNumber read them) become 'YYYY-MM-DD HH:MM:SS'; null and
// whatever reads as no time (other text, blobs, numbers beyond any date) give null.
bool registerSqliteFunctions(sqlite3* handle);

} // namespace ordisp
