#include "OrderSql.h"

#include "DbHelpers.h"
#include "ResultSet.h"

#include <limits>
#include <optional>

namespace ordisp {

QString NumberText(qint64 n) {
    return n >= 0 ? QLatin1Char(' ') + QString::number(n) : QString::number(n);
}

namespace OrderSql {

QString purgeDoneOrders(const QString& todayMidnightLiteral) {
    return QStringLiteral("DELETE FROM ordisp WHERE status = 2 AND insdate < ") + todayMidnightLiteral;
}

QString tableList(qint32 monitorNr) {
    return QStringLiteral("SELECT tisch FROM ordisp WHERE monitornr = ") + NumberText(monitorNr) +
           QStringLiteral(" GROUP BY tisch ORDER BY tisch");
}

QString tableFilter(qint16 table) {
    return QStringLiteral(" AND tisch = ") + NumberText(table);
}

QString orderList(qint32 monitorNr, const QString& tableFilterSql, const QString& sortOrder) {
    return QStringLiteral("SELECT * FROM ordisp WHERE monitornr = ") + NumberText(monitorNr) +
           QLatin1Char(' ') + tableFilterSql + QStringLiteral(" ORDER BY ") + sortOrder;
}

QString setStatus(int status, qint32 id) {
    // The status is a fixed part of the statement ("status = 1"), not a number text.
    return QStringLiteral("UPDATE ordisp SET status = ") + QString::number(status) +
           QStringLiteral(" WHERE id = ") + NumberText(id);
}

QString deleteOrder(qint32 id) {
    return QStringLiteral("DELETE FROM ordisp WHERE id = ") + NumberText(id);
}

QString courseList(qint32 monitorNr, qint16 table, int course) {
    return QStringLiteral("SELECT gast as gnr, * FROM ordisp WHERE monitornr = ") + NumberText(monitorNr) +
           QStringLiteral(" AND tisch = ") + NumberText(table) + QStringLiteral(" AND gang = ") +
           NumberText(course) + QStringLiteral(" ORDER BY gast");
}

} // namespace OrderSql

bool CurrentOrderId(const ResultSet& rs, qint32* id) {
    *id = 0;
    if (rs.eof())
        return false;
    const std::optional<qint64> value = LineId(rs.value(QStringLiteral("id")));
    if (!value || *value < std::numeric_limits<qint32>::min() || *value > std::numeric_limits<qint32>::max())
        return false;
    *id = static_cast<qint32>(*value);
    return true;
}

bool CurrentOrderIsDone(const ResultSet& rs) {
    bool ok = false;
    const double status = FieldValue(rs, QStringLiteral("status")).toDouble(&ok);
    return ok && status == double(StatusDone);
}

} // namespace ordisp
