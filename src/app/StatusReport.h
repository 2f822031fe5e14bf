#pragma once

#include "DbError.h"

#include <QDateTime>
#include <QList>

#include <optional>

class QTextStream;

namespace ordisp {

class Database;

// The lines of one monitor by status, as 'ordisp-db status' shows them.
struct MonitorStatus {
    std::optional<qint64> monitorNr; // none: lines without a monitor number
    qint64 newLines = 0;
    qint64 inProgress = 0;
    qint64 done = 0;
    qint64 other = 0;     // any other status, none included; such a line is not done, so it is open
    QDateTime oldestOpen; // the earliest insertion time of a line not done; invalid when there is none
};

// One entry per monitor that has lines, by ascending number; with monitorNr, exactly that monitor.
bool ReadStatus(Database& db, std::optional<qint32> monitorNr, QList<MonitorStatus>* out,
                DbError* error = nullptr);

// "H:MM:SS"; a time in the future (another station's clock) counts as no age.
QString AgeText(qint64 seconds);

// A table of the entries, the age of each monitor's oldest open line measured at now.
void WriteStatus(QTextStream& out, const QList<MonitorStatus>& status, const QDateTime& now);

} // namespace ordisp
