#pragma once

#include "ConnectionSettings.h"

#include <QString>

namespace ordisp::odbc {

// The catalog every connection names.
inline const QString kCatalog = QStringLiteral("zalpos");

// The connection string for the server route. dsn: DbServer is a known data source and driver is
// its driver; otherwise driver names the SQL Server driver to use. FreeTDS reads braces its own
// way; empty when a value cannot be passed to it safely.
QString connectionString(const ConnectionSettings& settings, bool dsn, const QString& driver);
// Wraps a value in braces, doubling any closing brace, when it holds a character that ODBC's
// grammar gives a meaning ([]{}(),;?*=!@) or blanks at either end; such a value can then never add
// attributes. A plain value stays bare: psqlODBC takes braces around UID or DATABASE as part of
// the name.
QString escape(const QString& value);
// Whether name can be an ODBC data-source name at all (no [ ] { } ( ) , ; ? * = ! @ \).
bool isValidDsnName(const QString& name);

// What the driver manager knows.
// Whether a data source of that name is configured (case-insensitive).
bool isKnownDataSource(const QString& name);
// The data source's driver as the driver manager lists it; empty when unknown.
QString dataSourceDriver(const QString& name);
// The first installed of ODBC Driver 18 for SQL Server, ODBC Driver 17 for SQL Server, FreeTDS;
// empty when none is.
QString sqlServerDriver();

} // namespace ordisp::odbc
