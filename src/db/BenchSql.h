#pragma once

#include "OrderSql.h"

#include <QString>

namespace ordisp {

// Statements only the bench runs: it fills a server's ordisp table with lines of its own monitor
// numbers and takes them away again.
namespace BenchSql {
inline QString deleteMonitorLines(qint32 monitorNr) {
    return QStringLiteral("DELETE FROM ordisp WHERE monitornr = ") + NumberText(monitorNr);
}
} // namespace BenchSql

} // namespace ordisp
