#include "StatusReport.h"

#include "Database.h"
#include "DateConversion.h"
#include "OrderSql.h"
#include "ResultSet.h"
#include "StatusSql.h"

#include <QTextStream>

#include <map>

namespace ordisp {

namespace {

// 0, 1 or 2 for a stored status of that value; -1 for any other, none included.
int StatusCode(const QVariant& status) {
    if (status.isNull())
        return -1;
    bool numeric = false;
    const double code = status.toDouble(&numeric);
    for (int known : {StatusNew, StatusInProgress, StatusDone}) {
        if (numeric && code == known)
            return known;
    }
    return -1;
}

} // namespace

bool ReadStatus(Database& db, std::optional<qint32> monitorNr, QList<MonitorStatus>* out, DbError* error) {
    ResultData data;
    if (!db.select(StatusSql::linesByStatus(monitorNr), &data, error))
        return false;

    // Lines without a monitor number sort after every number.
    const auto order = [](const std::optional<qint64>& a, const std::optional<qint64>& b) {
        return a && b ? *a < *b : a.has_value() && !b.has_value();
    };
    std::map<std::optional<qint64>, MonitorStatus, decltype(order)> byMonitor(order);
    if (monitorNr)
        byMonitor[qint64{*monitorNr}].monitorNr = *monitorNr;
    for (const ResultRow& row : data.rows) {
        if (row.size() < 4)
            continue;
        const std::optional<qint64> monitor =
            row.at(0).isNull() ? std::nullopt : std::optional<qint64>(row.at(0).toLongLong());
        MonitorStatus& entry = byMonitor[monitor];
        entry.monitorNr = monitor;
        const qint64 count = row.at(2).toLongLong();
        switch (StatusCode(row.at(1))) {
        case StatusNew:
            entry.newLines += count;
            break;
        case StatusInProgress:
            entry.inProgress += count;
            break;
        case StatusDone:
            entry.done += count;
            break;
        default:
            entry.other += count;
            break;
        }
        if (StatusCode(row.at(1)) != StatusDone) {
            // MIN(insdate) has no declared type: the file hands back its stored text or number.
            const QDateTime oldest = storedDateTime(row.at(3));
            if (oldest.isValid() && (!entry.oldestOpen.isValid() || oldest < entry.oldestOpen))
                entry.oldestOpen = oldest;
        }
    }
    out->clear();
    for (const auto& [monitor, entry] : byMonitor)
        out->append(entry);
    return true;
}

QString AgeText(qint64 seconds) {
    seconds = qMax<qint64>(0, seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void WriteStatus(QTextStream& out, const QList<MonitorStatus>& status, const QDateTime& now) {
    if (status.isEmpty()) {
        out << "Keine Bestellzeilen.\n";
        return;
    }
    const auto cell = [&out](const QString& text, int width) {
        out << QString(qMax(0, width - static_cast<int>(text.size())), QLatin1Char(' ')) << text;
    };
    out << "Monitor     NEU    i.A.      OK  andere  älteste offene Zeile\n";
    for (const MonitorStatus& s : status) {
        cell(s.monitorNr ? QString::number(*s.monitorNr) : QStringLiteral("ohne"), 7);
        cell(QString::number(s.newLines), 8);
        cell(QString::number(s.inProgress), 8);
        cell(QString::number(s.done), 8);
        cell(QString::number(s.other), 8);
        out << "  " << (s.oldestOpen.isValid() ? AgeText(s.oldestOpen.secsTo(now)) : QStringLiteral("-"))
            << '\n';
    }
}

} // namespace ordisp
