#pragma once

#include "Database.h"
#include "ResultSet.h"

#include <QDate>
#include <QString>
#include <QVariant>

namespace ordisp {

// Runs one statement; never lets a failure escape. On success the number is 0 and the text empty.
bool ExecSql(Database& db, const QString& sql, qint32* errorNumber = nullptr, QString* errorText = nullptr);

// The named column of the current row; a null becomes a neutral value of the column's kind
// ("" / false / 1 January 1900 / 0), and text loses leading and trailing blanks (spaces only).
QVariant FieldValue(const ResultSet& rs, const QString& name);

// A date literal for the dialect: #MM/DD/YYYY t# for the file, 'DD.MM.YYYY t' after the
// day-first probe, 'YYYY-MM-DD t' otherwise.
QString SqlDate(const QDate& date, const QString& time, const QString& dbType,
                const QString& dateLiteralStyle);

// True for an existing ordinary file: not a folder, not hidden (a name starting with '.').
bool FileExists(const QString& path);

} // namespace ordisp
