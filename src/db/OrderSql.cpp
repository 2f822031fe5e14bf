#include "OrderSql.h"

#include "DateConversion.h"
#include "DbHelpers.h"
#include "ResultSet.h"

#include <QDateTime>

#include <cmath>
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

QString idCriterion(qint32 id) {
    return QStringLiteral("id = ") + NumberText(id);
}

} // namespace OrderSql

namespace {

// The status code a value stands for, if it is a whole number; text and booleans are not codes.
std::optional<qint64> statusCode(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    switch (value.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return value.toLongLong();
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15)
            return static_cast<qint64>(d);
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

} // namespace

bool CurrentOrderId(const ResultSet& rs, qint32* id) {
    *id = 0;
    if (rs.eof())
        return false;
    const QString column = QStringLiteral("id");
    const QVariant field = FieldValue(rs, column);
    bool ok = false;
    const qint64 value = field.toLongLong(&ok);
    if (!ok || rs.value(column).isNull() || field.toDouble() != double(value) ||
        value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return false;
    *id = static_cast<qint32>(value);
    return true;
}

bool CurrentOrderIsDone(const ResultSet& rs) {
    bool ok = false;
    const double status = FieldValue(rs, QStringLiteral("status")).toDouble(&ok);
    return ok && status == double(StatusDone);
}

QVariant StatusText(const QVariant& value) {
    const auto code = statusCode(value);
    if (!code)
        return value;
    switch (*code) {
    case StatusNew:
        return QStringLiteral("NEU");
    case StatusInProgress:
        return QStringLiteral("i.A.");
    case StatusDone:
        return QStringLiteral("OK");
    default:
        return value;
    }
}

QVariant TimeText(const QVariant& value) {
    if (value.isNull())
        return QString();
    const QString format = QStringLiteral("HH:mm");
    switch (value.metaType().id()) {
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        return dt.isValid() ? dt.toString(format) : QString();
    }
    case QMetaType::QTime: {
        const QTime t = value.toTime();
        return t.isValid() ? t.toString(format) : QString();
    }
    case QMetaType::QDate:
        return value.toDate().isValid() ? QStringLiteral("00:00") : QString();
    default: {
        // Text and numbers by the rule by which the purge reads them.
        const QDateTime dt = storedDateTime(value);
        return dt.isValid() ? dt.toString(format) : QString();
    }
    }
}

} // namespace ordisp
