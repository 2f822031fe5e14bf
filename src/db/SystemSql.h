#pragma once

#include "Database.h"

#include <QString>

namespace ordisp {

// Statements on the shared settings table `system` that the start-up probes issue.
namespace SystemSql {
// The file keeps dates as ISO text and stores any other literal as the text it is; there both
// probes write the same day in ISO form and find out only whether the file takes a write.
inline QString probeDate(const QString& dbType, const char* serverLiteral) {
    return QStringLiteral("UPDATE system SET moddate = '%1'")
        .arg(dbType == kDbTypeJet ? QStringLiteral("2000-12-31 00:00:00") : QLatin1String(serverLiteral));
}
inline QString probeDateDayFirst(const QString& dbType) {
    return probeDate(dbType, "31.12.2000");
}
inline QString probeDateUs(const QString& dbType) {
    return probeDate(dbType, "12/31/2000");
}
inline QString setBoolTest(int value) {
    return QStringLiteral("UPDATE system SET booltest = %1").arg(value);
}
inline QString readBoolTest() {
    return QStringLiteral("SELECT booltest FROM system");
}
} // namespace SystemSql

} // namespace ordisp
