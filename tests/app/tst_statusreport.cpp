#include "Database.h"
#include "DbTool.h"
#include "StatusReport.h"
#include "TestDb.h"

#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

using namespace ordisp;

class TestStatusReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readStatus_data();
    void readStatus();
    void ageText_data();
    void ageText();
    void writeStatusTable();
    void writeStatusEmpty();
    void command_data();
    void command();

private:
    static QString describe(const MonitorStatus& s);
};

namespace {

const QDate kDay(2024, 5, 10);

// "monitor,status,time": status and time "-" for null; a time starting with "#" is stored as Unix seconds.
TestDb::Order orderFrom(const QString& spec) {
    const QStringList f = spec.split(QLatin1Char(','));
    TestDb::Order o;
    o.monitornr = f.at(0).toInt();
    o.status = f.at(1) == QLatin1String("-") ? QVariant() : QVariant(f.at(1).toInt());
    if (f.at(2) == QLatin1String("-"))
        o.insdate = QVariant();
    else if (f.at(2).startsWith(QLatin1Char('#')))
        o.insdate =
            QDateTime(kDay, QTime::fromString(f.at(2).mid(1), QStringLiteral("HH:mm"))).toSecsSinceEpoch();
    else
        o.insdate = QDateTime(kDay, QTime::fromString(f.at(2), QStringLiteral("HH:mm")));
    return o;
}

} // namespace

QString TestStatusReport::describe(const MonitorStatus& s) {
    return QStringLiteral("%1: %2 %3 %4 %5 %6")
        .arg(s.monitorNr ? QString::number(*s.monitorNr) : QStringLiteral("-"))
        .arg(s.newLines)
        .arg(s.inProgress)
        .arg(s.done)
        .arg(s.other)
        .arg(s.oldestOpen.isValid() ? s.oldestOpen.toString(QStringLiteral("HH:mm")) : QStringLiteral("-"));
}

void TestStatusReport::readStatus_data() {
    QTest::addColumn<QStringList>("orders");
    QTest::addColumn<int>("monitor"); // -1: all
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("no lines") << QStringList{} << -1 << QStringList{};
    QTest::newRow("each status once")
        << QStringList{"1,0,18:10", "1,1,18:05", "1,2,17:00"} << -1 << QStringList{"1: 1 1 1 0 18:05"};
    QTest::newRow("oldest open line across statuses")
        << QStringList{"1,0,18:01", "1,0,18:30", "1,1,18:20"} << -1 << QStringList{"1: 2 1 0 0 18:01"};
    QTest::newRow("line without status is open")
        << QStringList{"1,-,17:30", "1,0,18:00"} << -1 << QStringList{"1: 1 0 0 1 17:30"};
    QTest::newRow("unknown status is open")
        << QStringList{"1,3,17:45", "1,2,17:00"} << -1 << QStringList{"1: 0 0 1 1 17:45"};
    QTest::newRow("only done lines have no age")
        << QStringList{"1,2,17:00"} << -1 << QStringList{"1: 0 0 1 0 -"};
    QTest::newRow("open line without a time") << QStringList{"1,0,-"} << -1 << QStringList{"1: 1 0 0 0 -"};
    QTest::newRow("time stored as a number")
        << QStringList{"1,0,#17:15", "1,0,18:00"} << -1 << QStringList{"1: 2 0 0 0 17:15"};
    QTest::newRow("monitors by number, not as text")
        << QStringList{"10,0,18:00", "2,1,18:00", "1,2,18:00"} << -1
        << QStringList{"1: 0 0 1 0 -", "2: 0 1 0 0 18:00", "10: 1 0 0 0 18:00"};
    QTest::newRow("one monitor of several")
        << QStringList{"1,0,18:00", "2,0,17:00", "2,1,17:30"} << 2 << QStringList{"2: 1 1 0 0 17:00"};
    QTest::newRow("monitor without lines") << QStringList{"1,0,18:00"} << 5 << QStringList{"5: 0 0 0 0 -"};
    QTest::newRow("monitor zero") << QStringList{"0,1,18:00"} << -1 << QStringList{"0: 0 1 0 0 18:00"};
}

void TestStatusReport::readStatus() {
    QFETCH(QStringList, orders);
    QFETCH(int, monitor);
    QFETCH(QStringList, expected);
    TestDb testDb;
    QVERIFY2(testDb.isValid(), qPrintable(testDb.errorText()));
    for (const QString& spec : orders)
        QVERIFY2(testDb.addOrder(orderFrom(spec)) > 0, qPrintable(testDb.errorText()));

    Database db;
    QVERIFY(db.open(testDb.settings()));
    QList<MonitorStatus> status;
    DbError error;
    QVERIFY2(ReadStatus(db, monitor < 0 ? std::nullopt : std::optional<qint32>(monitor), &status, &error),
             qPrintable(error.description));
    QStringList got;
    for (const MonitorStatus& s : status)
        got << describe(s);
    QCOMPARE(got, expected);
}

void TestStatusReport::ageText_data() {
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("just now") << qint64(0) << QStringLiteral("0:00:00");
    QTest::newRow("under a minute") << qint64(59) << QStringLiteral("0:00:59");
    QTest::newRow("one minute") << qint64(60) << QStringLiteral("0:01:00");
    QTest::newRow("under an hour") << qint64(3599) << QStringLiteral("0:59:59");
    QTest::newRow("one hour") << qint64(3600) << QStringLiteral("1:00:00");
    QTest::newRow("more than a day") << qint64(90061) << QStringLiteral("25:01:01");
    QTest::newRow("in the future") << qint64(-30) << QStringLiteral("0:00:00");
}

void TestStatusReport::ageText() {
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(AgeText(seconds), text);
}

void TestStatusReport::writeStatusTable() {
    MonitorStatus one;
    one.monitorNr = 1;
    one.newLines = 12;
    one.inProgress = 3;
    one.done = 100;
    one.oldestOpen = QDateTime(kDay, QTime(17, 45, 30));
    MonitorStatus unnumbered;
    unnumbered.other = 1;
    QString text;
    QTextStream out(&text);
    WriteStatus(out, {one, unnumbered}, QDateTime(kDay, QTime(18, 0)));
    out.flush();
    QCOMPARE(text, QStringLiteral("Monitor     NEU    i.A.      OK  andere  älteste offene Zeile\n"
                                  "      1      12       3     100       0  0:14:30\n"
                                  "   ohne       0       0       0       1  -\n"));
}

void TestStatusReport::writeStatusEmpty() {
    QString text;
    QTextStream out(&text);
    WriteStatus(out, {}, QDateTime(kDay, QTime(18, 0)));
    out.flush();
    QCOMPARE(text, QStringLiteral("Keine Bestellzeilen.\n"));
}

void TestStatusReport::command_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("withDatabase");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // expected in stdout on success, in stderr otherwise

    QTest::newRow("all monitors") << QStringList{} << true << 0 << QStringLiteral("      2       1       0");
    QTest::newRow("one monitor") << QStringList{QStringLiteral("--monitor"), QStringLiteral("7")} << true << 0
                                 << QStringLiteral("      7       0       0       0       0  -");
    QTest::newRow("monitor not a number")
        << QStringList{QStringLiteral("--monitor"), QStringLiteral("sieben")} << true << 2
        << QStringLiteral("sieben");
    QTest::newRow("negative monitor") << QStringList{QStringLiteral("--monitor"), QStringLiteral("-1")}
                                      << true << 2 << QStringLiteral("--monitor");
    QTest::newRow("no database file") << QStringList{} << false << 1 << QStringLiteral("ZALPOS.MDB");
}

void TestStatusReport::command() {
    QFETCH(QStringList, args);
    QFETCH(bool, withDatabase);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    TestDb testDb;
    QVERIFY2(testDb.isValid(), qPrintable(testDb.errorText()));
    TestDb::Order o;
    o.monitornr = 2;
    QVERIFY(testDb.addOrder(o) > 0);

    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("zalpos"));
    QDir().mkpath(config);
    QFile ini(config + QStringLiteral("/ZALPOS.INI"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    const QString folder = withDatabase ? testDb.folder() : dir.filePath(QStringLiteral("nowhere"));
    ini.write("[DATABASE]\nTYP=MS-JET\n[PFADE]\nDATENBANK=" + folder.toUtf8() + "\n");
    ini.close();

    QString out, err, in;
    QTextStream o2(&out), e(&err), i(&in);
    QCOMPARE(RunDbTool(QStringList{QStringLiteral("status")} + args, DbToolStreams{&o2, &e, &i}, config,
                       dir.path()),
             exitCode);
    o2.flush();
    e.flush();
    const QString& shown = exitCode == 0 ? out : err;
    QVERIFY2(shown.contains(output), qPrintable(out + err));
    // Looking never writes.
    QCOMPARE(testDb.countOrders(), 1);
}

QTEST_GUILESS_MAIN(TestStatusReport)
#include "tst_statusreport.moc"
