#pragma once

#include "DbError.h"
#include "Schema.h"

#include <QDateTime>
#include <QList>
#include <QRandomGenerator>
#include <QString>

#include <functional>

class QCommandLineOption;
class QCommandLineParser;
class QTextStream;

namespace ordisp {

class Clock;
class Database;

struct SimulatorOptions {
    QList<qint32> monitors{1};
    double ordersPerMinute = 6.0;
    bool advance = false;
    int durationSeconds = 0; // 0: until stopped
    quint32 seed = 0;
};

// The options of 'ordisp-db simulate', and reading them back; false with a message on a bad value.
QList<QCommandLineOption> SimulatorCommandLineOptions();
bool ReadSimulatorOptions(const QCommandLineParser& parser, SimulatorOptions* options, QString* error);

// Orders as the terminals of a busy evening write them: a table of one to six guests orders two to
// four courses of one to three dishes each, all for one of the monitors. The same seed gives the
// same orders.
class OrderGenerator final {
public:
    static constexpr int kTables = 24;

    explicit OrderGenerator(quint32 seed);

    // The lines of the next order, new, sorted by course, all written at now.
    QList<OrderInput> next(const QList<qint32>& monitors, const QDateTime& now);
    // Seconds until the next order: random arrivals around the mean, never a long silence.
    double nextInterval(double ordersPerMinute);

private:
    QRandomGenerator m_random;
};

struct SimulatorTotals {
    int orders = 0;
    int lines = 0;
    int advanced = 0; // status changes 0 to 1 and 1 to 2
    int deleted = 0;
    int failures = 0;
};

// The kitchen's side, for --advance: on each monitor the older half of the new lines goes into
// work, the older half of those in work is done, and the older half of the done ones is cleared,
// as the cooks at another monitor would. Lines whose status someone changed meanwhile are left.
bool AdvanceLines(Database& db, const QList<qint32>& monitors, SimulatorTotals* totals,
                  DbError* error = nullptr);

// Waits until the deadline; false when the run is to stop (Ctrl-C) before or while waiting.
using StopAwareWait = std::function<bool(const QDateTime& deadline)>;

struct SimulatorIo {
    QTextStream* out;             // the summary
    QTextStream* err;             // progress and failures
    bool progressInPlace = false; // a terminal: the progress line is rewritten instead of repeated
};

// Inserts orders at the configured rate until the duration is over or wait says stop, then prints
// the summary. Returns the exit status: 0, or 1 after repeated database failures.
int RunSimulation(Database& db, const SimulatorOptions& options, const Clock& clock,
                  const StopAwareWait& wait, const SimulatorIo& io);

// Ctrl-C, termination requests and hang-ups, blocked from now on in this thread and the threads it starts,
// so that an insert under way is finished; wait() then sleeps until a deadline or such a signal.
class StopSignals final {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool wait(const Clock& clock, const QDateTime& deadline);

private:
    bool m_stopped = false;
};

} // namespace ordisp
