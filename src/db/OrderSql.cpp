#include "OrderSql.h"

#include "DbHelpers.h"
#include "ResultSet.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

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

std::optional<QList<QVariant>> TablesOfList(const ResultSet& list) {
    const int column = list.columnIndex(QStringLiteral("tisch"));
    if (column < 0)
        return std::nullopt;
    const QList<ResultRow>& rows = list.rows();
    const int type = rows.isEmpty() ? QMetaType::Int : rows.first().value(column).metaType().id();
    if (type != QMetaType::Int && type != QMetaType::LongLong)
        return std::nullopt;
    std::vector<qint64> tables; // ascending, each once; a list names few tables
    std::optional<qint64> last;
    for (const ResultRow& row : rows) {
        // A null reads as NullOfKind, of no number type.
        if (column >= row.size() || row.at(column).metaType().id() != type)
            return std::nullopt;
        const void* cell = row.at(column).constData();
        const qint64 table =
            type == QMetaType::Int ? *static_cast<const int*>(cell) : *static_cast<const qlonglong*>(cell);
        // A table's lines mostly follow one another.
        if (table == last)
            continue;
        last = table;
        const auto at = std::lower_bound(tables.begin(), tables.end(), table);
        if (at == tables.end() || *at != table)
            tables.insert(at, table);
    }
    QList<QVariant> values;
    values.reserve(qsizetype(tables.size()));
    for (const qint64 table : tables)
        values.append(type == QMetaType::Int ? QVariant(int(table)) : QVariant(qlonglong(table)));
    return values;
}

} // namespace ordisp
