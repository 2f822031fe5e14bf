#include "Clock.h"
#include "Database.h"
#include "ServerTestSupport.h"
#include "Simulator.h"
#include "StatusReport.h"

#include <QRegularExpression>
#include <QTextStream>
#include <QtTest>

#include <set>

using namespace ordisp;

// The simulator and the status overview on PostgreSQL through ODBC, the server route of the display.
class TestSimulatorServer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void simulateThenStatus();
};

void TestSimulatorServer::simulateThenStatus() {
    PgCluster cluster;
    ORDISP_REQUIRE_PG(cluster);
    ScratchRole role(cluster, QStringLiteral("kitchen_simulator"), QStringLiteral("Abend-2024"));
    QVERIFY2(role.isValid(), qPrintable(role.errorText()));
    QString output;
    QVERIFY2(role.initTables(&output), qPrintable(output));

    Database db(QStringLiteral("simulator"));
    DbError error;
    QVERIFY2(db.open(role.settings(), &error), qPrintable(error.description));

    const QDateTime start(QDate(2024, 5, 10), QTime(19, 0));
    FixedClock clock(start);
    SimulatorOptions options;
    options.monitors = {1, 2};
    options.ordersPerMinute = 60;
    options.durationSeconds = 20;
    options.advance = true;
    options.seed = 17;
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    const StopAwareWait wait = [&](const QDateTime& deadline) {
        if (deadline > clock.now())
            clock.set(deadline);
        return true;
    };
    QCOMPARE(RunSimulation(db, options, clock, wait, SimulatorIo{&outStream, &errStream, false}), 0);
    outStream.flush();
    errStream.flush();
    QVERIFY2(!err.contains(QStringLiteral("Datenbankfehler")), qPrintable(err));

    const auto number = [&out](const char* label) {
        const QRegularExpressionMatch m =
            QRegularExpression(QString::fromUtf8(label) + QStringLiteral(" (\\d+)")).match(out);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    };
    const int lines = number("Zeilen");
    const int deleted = number("gelöscht");
    QVERIFY2(lines > 0 && deleted > 0, qPrintable(out));
    QCOMPARE(role.scalar(QStringLiteral("SELECT COUNT(*) FROM ordisp")).toInt(), lines - deleted);
    QCOMPARE(role.scalar(QStringLiteral("SELECT COUNT(*) FROM ordisp WHERE status NOT IN (0, 1, 2)")).toInt(),
             0);
    QCOMPARE(
        role.scalar(QStringLiteral("SELECT MIN(insdate) FROM ordisp WHERE status = 0")).toDateTime().date(),
        start.date());

    // The overview adds up to the table and dates the oldest open line inside the run.
    QList<MonitorStatus> status;
    QVERIFY2(ReadStatus(db, std::nullopt, &status, &error), qPrintable(error.description));
    std::set<qint64> monitors;
    qint64 total = 0;
    for (const MonitorStatus& s : status) {
        QVERIFY(s.monitorNr.has_value());
        monitors.insert(*s.monitorNr);
        total += s.newLines + s.inProgress + s.done + s.other;
        QCOMPARE(s.other, qint64(0));
        if (s.newLines + s.inProgress > 0) {
            QVERIFY(s.oldestOpen.isValid());
            QVERIFY(s.oldestOpen >= start && s.oldestOpen <= start.addSecs(20));
        }
    }
    QCOMPARE(total, qint64(lines - deleted));
    QCOMPARE(monitors, (std::set<qint64>{1, 2}));
    QCOMPARE(role.scalar(QStringLiteral("SELECT COUNT(*) FROM ordisp WHERE monitornr = 1 AND status = 1"))
                 .toLongLong(),
             status.at(0).inProgress);
}

QTEST_GUILESS_MAIN(TestSimulatorServer)
#include "tst_simulatorserver.moc"
