#pragma once

#include "Database.h"

#include <QString>

namespace ordisp {

// Statements on the shared settings table `system` that the start-up probes issue.
namespace SystemSql {
// The file keeps dates as ISO text and stores any other literal as the text it is; there both
// probes write the same day in ISO form and find out only whether the file takes a write.
inline QString probeDateDayFirst(const QString& dbType) {
    return dbType == kDbTypeJet ? QStringLiteral("UPDATE system SET moddate = '2000-12-31 00:00:00'")
                                : QStringLiteral("UPDATE system SET moddate = '31.12.2000'");
}
inline QString probeDateUs(const QString& dbType) {
    return dbType == kDbTypeJet ? QStringLiteral("UPDATE system SET moddate = '2000-12-31 00:00:00'")
                                : QStringLiteral("UPDATE system SET moddate = '12/31/2000'");
}
inline QString setBoolTest(int value) {
    return QStringLiteral("UPDATE system SET booltest = %1").arg(value);
}
inline QString readBoolTest() {
    return QStringLiteral("SELECT booltest FROM system");
}
} // namespace SystemSql

// Whether the database holds an order table with the nine columns the display reads. A file
// without it is no order database, whatever else it holds.
inline bool HasOrderTable(Database& db, DbError* error = nullptr) {
    ResultData data;
    DbError failure;
    if (db.select(QStringLiteral("SELECT id, monitornr, tisch, gang, gast, menge, txt, status, insdate "
                                 "FROM ordisp WHERE 1 = 0"),
                  &data, &failure))
        return true;
    if (error) {
        *error = failure;
        error->description = QStringLiteral("Die Datenbank enthält keine vollständige Tabelle 'ordisp' (") +
                             failure.description +
                             QStringLiteral("). Mit 'ordisp-db init' wird sie angelegt.");
    }
    return false;
}

} // namespace ordisp
