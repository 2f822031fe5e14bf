#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace ordisp {

// Order statuses as stored in ordisp.status.
enum OrderStatus : int { StatusNew = 0, StatusInProgress = 1, StatusDone = 2 };

// A number as it goes into a statement: decimal, one leading blank when not negative.
QString NumberText(qint64 n);

// The statements and queries on ordisp; the only place their texts are written.
namespace OrderSql {
QString purgeDoneOrders(const QString& todayMidnightLiteral);
QString tableList(qint32 monitorNr);
QString tableFilter(qint16 table); // " AND tisch = " + N
QString orderList(qint32 monitorNr, const QString& tableFilterSql, const QString& sortOrder);
QString setStatus(int status, qint32 id);
QString deleteOrder(qint32 id);
QString courseList(qint32 monitorNr, qint16 table, int course);
} // namespace OrderSql

// Sort orders of the list.
inline const QString kSortStatusInsdate = QStringLiteral("status, insdate");
inline const QString kSortInsdate = QStringLiteral("insdate");
inline const QString kSortTischStatus = QStringLiteral("tisch, status");
inline const QString kSortTischGangStatus = QStringLiteral("tisch, gang, status");

class ResultSet;

// The id of the current row as the statements take it. False when there is no current row, or when
// the id is null, fractional or beyond 32 bits: cut, rounded or read as 0 it would name another line,
// so such a line is not acted on.
bool CurrentOrderId(const ResultSet& rs, qint32* id);
// Whether the current row's status reads as done; a null status reads as 0.
bool CurrentOrderIsDone(const ResultSet& rs);

// What OrderSql::tableList reads, taken from the rows of the same monitor's unfiltered order list:
// each table once, in ascending order, typed as the column is. None when a row's table is null or
// not a whole number of the column's type: where a null, a text or a fraction sorts depends on the
// database, so the query has to tell.
std::optional<QList<QVariant>> TablesOfList(const ResultSet& list);

} // namespace ordisp
