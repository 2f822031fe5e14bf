#include "Clock.h"
#include "Database.h"
#include "DbTool.h"
#include "Simulator.h"
#include "SqliteConnection.h"
#include "StatusSql.h"
#include "TestDb.h"

#include <QCommandLineParser>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

#include <csignal>
#include <set>

using namespace ordisp;

class TestSimulator : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ordersHaveTheShapeOfAnEvening_data();
    void ordersHaveTheShapeOfAnEvening();
    void ordersCoverEveryRange();
    void sameSeedSameOrders();
    void intervalsKeepTheRate_data();
    void intervalsKeepTheRate();
    void options_data();
    void options();
    void advanceMovesTheOlderHalf();
    void advanceLeavesLinesChangedMeanwhile();
    void advanceSkipsIdsBeyond32Bits();
    void runLastsTheDuration();
    void runStopsWhenAsked();
    void runRepeatsWithTheSameSeed();
    void runGivesUpAfterRepeatedFailures();
    void commandRefusesBadOptions();
    void commandNeedsTheOrderTable();
    void processStopsCleanlyOnSignal_data();
    void processStopsCleanlyOnSignal();
    void processEndsAfterDuration();

private:
    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
        int waits = 0;
    };
    // Runs on a pinned clock: each wait moves the clock to its deadline; stopAfter waits say stop.
    static Run simulate(Database& db, const SimulatorOptions& options, int stopAfter = -1);
    static int summaryNumber(const QString& summary, const QString& label);
    static QString writeConfig(const QTemporaryDir& dir, const QString& dbFolder);
};

namespace {

const QDateTime kStart(QDate(2024, 5, 10), QTime(18, 0));

// Distinct courses, and the lines per course, of one order.
std::map<int, int> linesPerCourse(const QList<OrderInput>& order) {
    std::map<int, int> result;
    for (const OrderInput& line : order)
        ++result[line.course];
    return result;
}

} // namespace

TestSimulator::Run TestSimulator::simulate(Database& db, const SimulatorOptions& options, int stopAfter) {
    Run run;
    FixedClock clock(kStart);
    QTextStream out(&run.out), err(&run.err);
    const StopAwareWait wait = [&](const QDateTime& deadline) {
        ++run.waits;
        if (deadline > clock.now())
            clock.set(deadline);
        return stopAfter < 0 || run.waits < stopAfter;
    };
    run.exitCode = RunSimulation(db, options, clock, wait, SimulatorIo{&out, &err, false});
    out.flush();
    err.flush();
    return run;
}

int TestSimulator::summaryNumber(const QString& summary, const QString& label) {
    const QRegularExpressionMatch m = QRegularExpression(label + QStringLiteral(" (\\d+)")).match(summary);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString TestSimulator::writeConfig(const QTemporaryDir& dir, const QString& dbFolder) {
    const QString config = dir.filePath(QStringLiteral("config/zalpos"));
    QDir().mkpath(config);
    QFile ini(config + QStringLiteral("/ZALPOS.INI"));
    if (!ini.open(QIODevice::WriteOnly))
        return {};
    ini.write("[DATABASE]\nTYP=MS-JET\n[PFADE]\nDATENBANK=" + dbFolder.toUtf8() + "\n");
    return config;
}

void TestSimulator::ordersHaveTheShapeOfAnEvening_data() {
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<QList<qint32>>("monitors");
    QTest::newRow("one monitor") << 1u << QList<qint32>{1};
    QTest::newRow("two monitors") << 2u << QList<qint32>{1, 2};
    QTest::newRow("monitor zero") << 3u << QList<qint32>{0};
    QTest::newRow("largest monitor number") << 4u << QList<qint32>{2147483647, 5};
    QTest::newRow("seed zero") << 0u << QList<qint32>{3};
    QTest::newRow("largest seed") << 4294967295u << QList<qint32>{1};
}

void TestSimulator::ordersHaveTheShapeOfAnEvening() {
    QFETCH(quint32, seed);
    QFETCH(QList<qint32>, monitors);
    OrderGenerator generator(seed);
    for (int i = 0; i < 300; ++i) {
        const QList<OrderInput> order = generator.next(monitors, kStart);
        QVERIFY(!order.isEmpty());
        const OrderInput& first = order.constFirst();
        QVERIFY(monitors.contains(first.monitorNr));
        QVERIFY(first.table >= 1 && first.table <= OrderGenerator::kTables);
        const std::map<int, int> courses = linesPerCourse(order);
        QVERIFY2(courses.size() >= 2 && courses.size() <= 4, qPrintable(QString::number(courses.size())));
        // Courses are numbered 1, 2, ... without gaps, so they land in the detail window's grids.
        int expectedCourse = 1;
        for (const auto& [course, lines] : courses) {
            QCOMPARE(course, expectedCourse++);
            QVERIFY(lines >= 1 && lines <= 3);
        }
        int previousCourse = 0, previousGuest = 0;
        for (const OrderInput& line : order) {
            QCOMPARE(line.monitorNr, first.monitorNr);
            QCOMPARE(line.table, first.table);
            QVERIFY(line.guest >= 1 && line.guest <= 6);
            QVERIFY(line.quantity == 1.0 || line.quantity == 2.0);
            QVERIFY(!line.text.trimmed().isEmpty());
            QVERIFY(line.text.size() <= 255);
            QVERIFY(line.status && *line.status == StatusNew);
            QCOMPARE(line.insdate, kStart);
            // Sorted by course and, within a course, by guest.
            QVERIFY(line.course > previousCourse || line.guest >= previousGuest);
            QVERIFY(line.course >= previousCourse);
            previousCourse = line.course;
            previousGuest = line.guest;
        }
    }
}

void TestSimulator::ordersCoverEveryRange() {
    OrderGenerator generator(42);
    std::set<int> courseCounts, linesPerCourseSeen, guests, tables;
    std::set<qint32> monitorsSeen;
    bool umlaut = false, note = false, doubled = false;
    for (int i = 0; i < 1000; ++i) {
        const QList<OrderInput> order = generator.next({4, 5, 6}, kStart);
        const std::map<int, int> courses = linesPerCourse(order);
        courseCounts.insert(static_cast<int>(courses.size()));
        for (const auto& [course, lines] : courses)
            linesPerCourseSeen.insert(lines);
        monitorsSeen.insert(order.constFirst().monitorNr);
        tables.insert(order.constFirst().table);
        for (const OrderInput& line : order) {
            guests.insert(line.guest);
            umlaut = umlaut || line.text.contains(QRegularExpression(QStringLiteral("[äöüß]")));
            note = note || line.text.contains(QLatin1Char(','));
            doubled = doubled || line.quantity == 2.0;
        }
    }
    QCOMPARE(courseCounts, (std::set<int>{2, 3, 4}));
    QCOMPARE(linesPerCourseSeen, (std::set<int>{1, 2, 3}));
    QCOMPARE(guests, (std::set<int>{1, 2, 3, 4, 5, 6}));
    QCOMPARE(monitorsSeen, (std::set<qint32>{4, 5, 6}));
    QCOMPARE(static_cast<int>(tables.size()), OrderGenerator::kTables);
    QVERIFY(umlaut);
    QVERIFY(note);
    QVERIFY(doubled);
}

void TestSimulator::sameSeedSameOrders() {
    OrderGenerator a(7), b(7), c(8);
    bool differs = false;
    for (int i = 0; i < 50; ++i) {
        const QList<OrderInput> x = a.next({1, 2}, kStart);
        const QList<OrderInput> y = b.next({1, 2}, kStart);
        const QList<OrderInput> z = c.next({1, 2}, kStart);
        QCOMPARE(x.size(), y.size());
        for (int k = 0; k < x.size(); ++k) {
            QCOMPARE(x.at(k).monitorNr, y.at(k).monitorNr);
            QCOMPARE(x.at(k).table, y.at(k).table);
            QCOMPARE(x.at(k).course, y.at(k).course);
            QCOMPARE(x.at(k).guest, y.at(k).guest);
            QCOMPARE(x.at(k).quantity, y.at(k).quantity);
            QCOMPARE(x.at(k).text, y.at(k).text);
        }
        QCOMPARE(a.nextInterval(6), b.nextInterval(6));
        c.nextInterval(6);
        differs = differs || x.size() != z.size() || x.constFirst().text != z.constFirst().text;
    }
    QVERIFY(differs);
}

void TestSimulator::intervalsKeepTheRate_data() {
    QTest::addColumn<double>("rate");
    QTest::newRow("one every two minutes") << 0.5;
    QTest::newRow("default") << 6.0;
    QTest::newRow("fastest") << 600.0;
}

void TestSimulator::intervalsKeepTheRate() {
    QFETCH(double, rate);
    OrderGenerator generator(11);
    const double mean = 60.0 / rate;
    double sum = 0;
    const int n = 5000;
    for (int i = 0; i < n; ++i) {
        const double interval = generator.nextInterval(rate);
        QVERIFY(interval >= 0.4 * mean && interval <= 1.6 * mean);
        sum += interval;
    }
    QVERIFY2(std::abs(sum / n - mean) < 0.03 * mean, qPrintable(QString::number(sum / n)));
}

void TestSimulator::options_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QList<qint32>>("monitors");
    QTest::addColumn<double>("rate");
    QTest::addColumn<int>("duration");
    QTest::addColumn<bool>("advance");

    const QList<qint32> one{1};
    QTest::newRow("defaults") << QStringList{} << true << one << 6.0 << 0 << false;
    QTest::newRow("list with blanks and repeats")
        << QStringList{QStringLiteral("--monitors"), QStringLiteral(" 2, 1,2 ")} << true
        << QList<qint32>{2, 1} << 6.0 << 0 << false;
    QTest::newRow("all options") << QStringList{QStringLiteral("--monitors"), QStringLiteral("0"),
                                                QStringLiteral("--rate"),     QStringLiteral("2,5"),
                                                QStringLiteral("--duration"), QStringLiteral("90"),
                                                QStringLiteral("--advance")}
                                 << true << QList<qint32>{0} << 2.5 << 90 << true;
    QTest::newRow("largest monitor") << QStringList{QStringLiteral("--monitors"),
                                                    QStringLiteral("2147483647")}
                                     << true << QList<qint32>{2147483647} << 6.0 << 0 << false;
    const auto bad = [&](const char* row, const QString& option, const QString& value) {
        QTest::newRow(row) << QStringList{option, value} << false << one << 0.0 << 0 << false;
    };
    const QString monitors = QStringLiteral("--monitors"), rate = QStringLiteral("--rate"),
                  duration = QStringLiteral("--duration"), seed = QStringLiteral("--seed");
    bad("empty list entry", monitors, QStringLiteral("1,,2"));
    bad("trailing comma", monitors, QStringLiteral("1,"));
    bad("negative monitor", monitors, QStringLiteral("-1"));
    bad("monitor beyond 32 bits", monitors, QStringLiteral("2147483648"));
    bad("monitor as word", monitors, QStringLiteral("eins"));
    bad("rate zero", rate, QStringLiteral("0"));
    bad("negative rate", rate, QStringLiteral("-3"));
    bad("rate not a number", rate, QStringLiteral("nan"));
    bad("infinite rate", rate, QStringLiteral("inf"));
    bad("rate too high", rate, QStringLiteral("601"));
    bad("negative duration", duration, QStringLiteral("-5"));
    bad("fractional duration", duration, QStringLiteral("1.5"));
    bad("negative seed", seed, QStringLiteral("-1"));
    bad("seed beyond 32 bits", seed, QStringLiteral("4294967296"));
}

void TestSimulator::options() {
    QFETCH(QStringList, args);
    QFETCH(bool, valid);
    QCommandLineParser parser;
    parser.addOptions(SimulatorCommandLineOptions());
    QVERIFY(parser.parse(QStringList{QStringLiteral("simulate")} + args));
    SimulatorOptions options;
    QString error;
    QCOMPARE(ReadSimulatorOptions(parser, &options, &error), valid);
    if (!valid) {
        // The message names the option and the refused value.
        QVERIFY2(error.contains(args.at(0)) && error.contains(args.at(1)), qPrintable(error));
        return;
    }
    QFETCH(QList<qint32>, monitors);
    QFETCH(double, rate);
    QFETCH(int, duration);
    QFETCH(bool, advance);
    QCOMPARE(options.monitors, monitors);
    QCOMPARE(options.ordersPerMinute, rate);
    QCOMPARE(options.durationSeconds, duration);
    QCOMPARE(options.advance, advance);
}

void TestSimulator::advanceMovesTheOlderHalf() {
    TestDb testDb;
    QVERIFY2(testDb.isValid(), qPrintable(testDb.errorText()));
    const auto add = [&](int status, int minute, qint32 monitor = 1) {
        TestDb::Order o;
        o.monitornr = monitor;
        o.status = status < 0 ? QVariant() : QVariant(status);
        o.insdate = QDateTime(QDate(2024, 5, 10), QTime(18, minute));
        return testDb.addOrder(o);
    };
    // Inserted out of time order: the age decides, not the id.
    const qint64 new3 = add(0, 30), new1 = add(0, 10), new2 = add(0, 20);
    const qint64 work2 = add(1, 25), work1 = add(1, 5);
    const qint64 done1 = add(2, 1), done3 = add(2, 3), done2 = add(2, 2);
    const qint64 odd = add(3, 0), none = add(-1, 0);
    const qint64 otherMonitor = add(0, 0, 2);

    Database db;
    QVERIFY(db.open(testDb.settings()));
    SimulatorTotals totals;
    DbError error;
    QVERIFY2(AdvanceLines(db, {1}, &totals, &error), qPrintable(error.description));

    const auto statusOf = [&](qint64 id) {
        const QVariant v = testDb.scalar(QStringLiteral("SELECT status FROM ordisp WHERE id = %1").arg(id));
        return v.isValid() ? (v.isNull() ? QStringLiteral("null") : v.toString()) : QStringLiteral("deleted");
    };
    QCOMPARE(statusOf(new1), QStringLiteral("1"));
    QCOMPARE(statusOf(new2), QStringLiteral("1"));
    QCOMPARE(statusOf(new3), QStringLiteral("0"));
    QCOMPARE(statusOf(work1), QStringLiteral("2"));
    QCOMPARE(statusOf(work2), QStringLiteral("1"));
    QCOMPARE(statusOf(done1), QStringLiteral("deleted"));
    QCOMPARE(statusOf(done2), QStringLiteral("deleted"));
    QCOMPARE(statusOf(done3), QStringLiteral("2"));
    QCOMPARE(statusOf(odd), QStringLiteral("3"));
    QCOMPARE(statusOf(none), QStringLiteral("null"));
    QCOMPARE(statusOf(otherMonitor), QStringLiteral("0"));
    QCOMPARE(totals.advanced, 3);
    QCOMPARE(totals.deleted, 2);
}

void TestSimulator::advanceLeavesLinesChangedMeanwhile() {
    TestDb testDb;
    QVERIFY2(testDb.isValid(), qPrintable(testDb.errorText()));
    TestDb::Order o;
    o.status = 2; // a cook finished it after the simulator read it as new
    const qint64 finished = testDb.addOrder(o);
    o.status = 1; // a cook took a done line back into work
    const qint64 reopened = testDb.addOrder(o);

    Database db;
    QVERIFY(db.open(testDb.settings()));
    QVERIFY(db.exec(StatusSql::advanceStatus(static_cast<qint32>(finished), StatusNew, StatusInProgress)));
    QVERIFY(db.exec(StatusSql::deleteDoneOrder(static_cast<qint32>(reopened))));
    QCOMPARE(testDb.scalar(QStringLiteral("SELECT status FROM ordisp WHERE id = %1").arg(finished)).toInt(),
             2);
    QCOMPARE(testDb.countOrders(QStringLiteral("id = %1").arg(reopened)), 1);

    // The same statements do act on a line that still has the status they expect.
    QVERIFY(db.exec(StatusSql::advanceStatus(static_cast<qint32>(reopened), StatusInProgress, StatusDone)));
    QVERIFY(db.exec(StatusSql::deleteDoneOrder(static_cast<qint32>(finished))));
    QCOMPARE(testDb.scalar(QStringLiteral("SELECT status FROM ordisp WHERE id = %1").arg(reopened)).toInt(),
             2);
    QCOMPARE(testDb.countOrders(QStringLiteral("id = %1").arg(finished)), 0);
}

void TestSimulator::advanceSkipsIdsBeyond32Bits() {
    TestDb testDb;
    QVERIFY2(testDb.isValid(), qPrintable(testDb.errorText()));
    const auto add = [&](qint64 id, int minute) {
        TestDb::Order o;
        o.id = id;
        o.status = 0;
        o.insdate = QDateTime(QDate(2024, 5, 10), QTime(18, minute));
        return testDb.addOrder(o);
    };
    // Cut to 32 bits, the oldest id would read as 7.
    const qint64 big = add(Q_INT64_C(4294967296) + 7, 0);
    QCOMPARE(big, Q_INT64_C(4294967303));
    add(7, 30);
    add(8, 40);

    Database db;
    QVERIFY(db.open(testDb.settings()));
    SimulatorTotals totals;
    QVERIFY(AdvanceLines(db, {1}, &totals));
    QCOMPARE(totals.advanced, 1);
    QCOMPARE(testDb.scalar(QStringLiteral("SELECT status FROM ordisp WHERE id = %1").arg(big)).toInt(), 0);
    QCOMPARE(testDb.scalar(QStringLiteral("SELECT status FROM ordisp WHERE id = 7")).toInt(), 1);
    QCOMPARE(testDb.scalar(QStringLiteral("SELECT status FROM ordisp WHERE id = 8")).toInt(), 0);
}

void TestSimulator::runLastsTheDuration() {
    TestDb testDb;
    QVERIFY2(testDb.isValid(), qPrintable(testDb.errorText()));
    Database db;
    QVERIFY(db.open(testDb.settings()));
    SimulatorOptions options;
    options.monitors = {1, 2};
    options.ordersPerMinute = 60; // one a second on average
    options.durationSeconds = 30;
    options.seed = 5;
    const Run run = simulate(db, options);
    QCOMPARE(run.exitCode, 0);

    const int orders = summaryNumber(run.out, QStringLiteral("Bestellungen"));
    const int lines = summaryNumber(run.out, QStringLiteral("Zeilen"));
    QVERIFY2(orders >= 30 / 1.6 && orders <= 30 / 0.4 + 1, qPrintable(run.out));
    QCOMPARE(testDb.countOrders(), lines);
    QCOMPARE(summaryNumber(run.out, QStringLiteral("beendet nach")), 30);
    QCOMPARE(testDb.countOrders(QStringLiteral("status <> 0")), 0);
    // Every line was written inside the run, the first at its start.
    QCOMPARE(testDb.scalar(QStringLiteral("SELECT MIN(insdate) FROM ordisp")).toString(),
             QStringLiteral("2024-05-10 18:00:00"));
    QVERIFY(testDb.scalar(QStringLiteral("SELECT MAX(insdate) FROM ordisp")).toString() <
            QStringLiteral("2024-05-10 18:00:30"));
    QCOMPARE(testDb.countOrders(QStringLiteral("monitornr NOT IN (1, 2)")), 0);
    // One progress line per order after the opening line, which names the seed.
    QCOMPARE(run.err.count(QLatin1Char('\n')), orders + 1);
    QVERIFY(run.err.contains(QStringLiteral("--seed 5")));
}

void TestSimulator::runStopsWhenAsked() {
    TestDb testDb;
    QVERIFY2(testDb.isValid(), qPrintable(testDb.errorText()));
    Database db;
    QVERIFY(db.open(testDb.settings()));
    SimulatorOptions options;
    options.seed = 9;
    const Run run = simulate(db, options, 4); // the fourth wait is interrupted
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.waits, 4);
    QCOMPARE(summaryNumber(run.out, QStringLiteral("Bestellungen")), 3);
    QCOMPARE(testDb.countOrders(), summaryNumber(run.out, QStringLiteral("Zeilen")));
    QCOMPARE(testDb.scalar(QStringLiteral("SELECT COUNT(DISTINCT insdate) FROM ordisp")).toInt(), 3);
}

void TestSimulator::runRepeatsWithTheSameSeed() {
    const auto rowsOf = [](quint32 seed, bool advance) {
        TestDb testDb;
        Database db;
        if (!testDb.isValid() || !db.open(testDb.settings()))
            return QString();
        SimulatorOptions options;
        options.monitors = {1, 2};
        options.seed = seed;
        options.advance = advance;
        options.durationSeconds = 60;
        simulate(db, options);
        ResultData data;
        if (!db.select(QStringLiteral("SELECT id, monitornr, tisch, gang, gast, menge, txt, status, insdate "
                                      "FROM ordisp ORDER BY id"),
                       &data))
            return QString();
        QStringList rows;
        for (const ResultRow& row : data.rows) {
            QStringList cells;
            for (const QVariant& v : row)
                cells << v.toString();
            rows << cells.join(QLatin1Char('|'));
        }
        return rows.join(QLatin1Char('\n'));
    };
    const QString first = rowsOf(21, true);
    QVERIFY(!first.isEmpty());
    QCOMPARE(rowsOf(21, true), first);
    QVERIFY(rowsOf(22, true) != first);
    // With --advance the kitchen has moved lines on: all three statuses are there.
    std::set<QString> statuses;
    for (const QString& row : first.split(QLatin1Char('\n')))
        statuses.insert(row.split(QLatin1Char('|')).at(7));
    QCOMPARE(statuses, (std::set<QString>{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")}));
}

void TestSimulator::runGivesUpAfterRepeatedFailures() {
    TestDb testDb;
    QVERIFY2(testDb.isValid(), qPrintable(testDb.errorText()));
    QVERIFY(testDb.exec(QStringLiteral("DROP TABLE ordisp")));
    Database db;
    QVERIFY(db.open(testDb.settings()));
    SimulatorOptions options;
    options.seed = 1;
    const Run run = simulate(db, options);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.waits, 5);
    QCOMPARE(run.err.count(QStringLiteral("Datenbankfehler")), 5);
    QCOMPARE(summaryNumber(run.out, QStringLiteral("Fehler")), 5);
    QCOMPARE(summaryNumber(run.out, QStringLiteral("Bestellungen")), 0);
}

void TestSimulator::commandRefusesBadOptions() {
    QTemporaryDir dir;
    const QString config = writeConfig(dir, dir.path());
    QString out, err, in;
    QTextStream o(&out), e(&err), i(&in);
    const int code = RunDbTool({QStringLiteral("simulate"), QStringLiteral("--rate"), QStringLiteral("0")},
                               DbToolStreams{&o, &e, &i}, config, dir.path());
    e.flush();
    QCOMPARE(code, 2);
    QVERIFY2(err.contains(QStringLiteral("--rate")), qPrintable(err));
    // Refused before connecting: no database file appeared.
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("ZALPOS.MDB"))));
}

void TestSimulator::commandNeedsTheOrderTable() {
    QTemporaryDir dir;
    QVERIFY(SqliteConnection::createFile(dir.filePath(QStringLiteral("ZALPOS.MDB"))));
    const QString config = writeConfig(dir, dir.path());
    QString out, err, in;
    QTextStream o(&out), e(&err), i(&in);
    const int code =
        RunDbTool({QStringLiteral("simulate"), QStringLiteral("--duration"), QStringLiteral("1")},
                  DbToolStreams{&o, &e, &i}, config, dir.path());
    e.flush();
    QCOMPARE(code, 1);
    QVERIFY2(err.contains(QStringLiteral("ordisp-db init")), qPrintable(err));
}

void TestSimulator::processStopsCleanlyOnSignal_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("Ctrl-C") << SIGINT;
    QTest::newRow("terminate") << SIGTERM;
    QTest::newRow("hang-up") << SIGHUP;
}

void TestSimulator::processStopsCleanlyOnSignal() {
    QFETCH(int, signal);
    TestDb testDb;
    QVERIFY2(testDb.isValid(), qPrintable(testDb.errorText()));
    QTemporaryDir dir;
    writeConfig(dir, testDb.folder());

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ORDISP_DB_TOOL),
                  {QStringLiteral("simulate"), QStringLiteral("--rate"), QStringLiteral("600"),
                   QStringLiteral("--advance"), QStringLiteral("--seed"), QStringLiteral("3")});
    QVERIFY(process.waitForStarted());
    // Let it write a few orders, then interrupt it while it is busy.
    QByteArray err;
    QElapsedTimer timer;
    timer.start();
    while (err.count('\n') < 4 && timer.elapsed() < 20000) {
        process.waitForReadyRead(200);
        err += process.readAllStandardError();
    }
    QVERIFY2(err.count('\n') >= 4, err.constData());
    QCOMPARE(::kill(static_cast<pid_t>(process.processId()), signal), 0);
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);

    const QString summary = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY2(summary.contains(QStringLiteral("beendet nach")), qPrintable(summary));
    // Every line the summary counts is in the database: the insert under way was finished.
    const int lines = summaryNumber(summary, QStringLiteral("Zeilen"));
    const int deleted = summaryNumber(summary, QStringLiteral("gelöscht"));
    QVERIFY(lines > 0);
    QCOMPARE(testDb.countOrders(), lines - deleted);
}

void TestSimulator::processEndsAfterDuration() {
    TestDb testDb;
    QVERIFY2(testDb.isValid(), qPrintable(testDb.errorText()));
    QTemporaryDir dir;
    writeConfig(dir, testDb.folder());
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    process.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral(ORDISP_DB_TOOL),
                  {QStringLiteral("simulate"), QStringLiteral("--duration"), QStringLiteral("2"),
                   QStringLiteral("--rate"), QStringLiteral("120")});
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitCode(), 0);
    QVERIFY2(timer.elapsed() >= 1900, qPrintable(QString::number(timer.elapsed())));
    const QString summary = QString::fromUtf8(process.readAllStandardOutput());
    QVERIFY(summaryNumber(summary, QStringLiteral("Bestellungen")) >= 2);
    QCOMPARE(testDb.countOrders(), summaryNumber(summary, QStringLiteral("Zeilen")));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
