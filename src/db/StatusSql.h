#pragma once

#include "OrderSql.h"

#include <QString>

#include <optional>

namespace ordisp {

// Statements of the administrator's tool on ordisp: the status overview and the simulated kitchen.
namespace StatusSql {

// Line count and oldest insertion time per monitor and status; all monitors when none is given.
inline QString linesByStatus(std::optional<qint32> monitorNr) {
    QString sql =
        QStringLiteral("SELECT monitornr, status, COUNT(*) AS n, MIN(insdate) AS oldest FROM ordisp");
    if (monitorNr)
        sql += QStringLiteral(" WHERE monitornr = ") + NumberText(*monitorNr);
    return sql + QStringLiteral(" GROUP BY monitornr, status ORDER BY monitornr, status");
}

// Moves a line on only while it still has the status it was read with, so that a simulated cook
// never undoes what a real one has just pressed.
inline QString advanceStatus(qint32 id, int from, int to) {
    return OrderSql::setStatus(to, id) + QStringLiteral(" AND status = ") + QString::number(from);
}

// Deletes a line only while it is done.
inline QString deleteDoneOrder(qint32 id) {
    return OrderSql::deleteOrder(id) + QStringLiteral(" AND status = ") + QString::number(StatusDone);
}

} // namespace StatusSql

} // namespace ordisp
