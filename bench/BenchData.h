#pragma once

#include "Database.h"

#include <QString>

namespace ordisp {

// The order lines a bench run reads: some for the monitor under test and more for the ten monitors
// numbered after it, spread over tables, courses and statuses as a busy evening leaves them. The
// same sizes always give the same lines.
class BenchData {
public:
    static constexpr int kOtherMonitors = 10;

    BenchData(Database& db, qint32 monitorNr);

    qint32 monitorNr() const { return m_monitorNr; }

    // Writes `lines` lines for the monitor under test and `otherLines` for the others, in one
    // transaction. Lines already there stay.
    bool fill(int lines, int otherLines, QString* error);
    // Removes the lines of the monitor under test and of the others: a server run leaves nothing
    // behind.
    bool clear(QString* error);
    // One more new line for the monitor under test, written now.
    bool addLine(int serial, QString* error);

private:
    Database& m_db;
    qint32 m_monitorNr;
};

} // namespace ordisp
