#include "CellText.h"
#include "OrderSql.h"

#include <QtTest>

using namespace ordisp;

class TestOrderSql : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void numberText_data();
    void numberText();
    void statements_data();
    void statements();
    void statusText_data();
    void statusText();
    void timeText_data();
    void timeText();
};

void TestOrderSql::numberText_data() {
    QTest::addColumn<qint64>("n");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zero") << qint64(0) << " 0";
    QTest::newRow("positive") << qint64(17) << " 17";
    QTest::newRow("negative") << qint64(-3) << "-3";
    QTest::newRow("int32 max") << qint64(2147483647) << " 2147483647";
    QTest::newRow("int64 min") << std::numeric_limits<qint64>::min() << "-9223372036854775808";
}

void TestOrderSql::numberText() {
    QFETCH(qint64, n);
    QFETCH(QString, expected);
    QCOMPARE(NumberText(n), expected);
}

void TestOrderSql::statements_data() {
    QTest::addColumn<QString>("actual");
    QTest::addColumn<QString>("expected");

    QTest::newRow("purge") << OrderSql::purgeDoneOrders(QStringLiteral("#12/06/2026 00:00:00#"))
                           << "DELETE FROM ordisp WHERE status = 2 AND insdate < #12/06/2026 00:00:00#";

    QTest::newRow("table list positive")
        << OrderSql::tableList(3)
        << "SELECT tisch FROM ordisp WHERE monitornr =  3 GROUP BY tisch ORDER BY tisch";
    QTest::newRow("table list zero")
        << OrderSql::tableList(0)
        << "SELECT tisch FROM ordisp WHERE monitornr =  0 GROUP BY tisch ORDER BY tisch";
    QTest::newRow("table list negative")
        << OrderSql::tableList(-1)
        << "SELECT tisch FROM ordisp WHERE monitornr = -1 GROUP BY tisch ORDER BY tisch";

    QTest::newRow("filter positive") << OrderSql::tableFilter(12) << " AND tisch =  12";
    QTest::newRow("filter zero") << OrderSql::tableFilter(0) << " AND tisch =  0";
    QTest::newRow("filter negative") << OrderSql::tableFilter(-5) << " AND tisch = -5";

    QTest::newRow("list without filter")
        << OrderSql::orderList(3, QString(), kSortStatusInsdate)
        << "SELECT * FROM ordisp WHERE monitornr =  3  ORDER BY status, insdate";
    QTest::newRow("list zero with filter")
        << OrderSql::orderList(0, OrderSql::tableFilter(7), kSortTischGangStatus)
        << "SELECT * FROM ordisp WHERE monitornr =  0  AND tisch =  7 ORDER BY "
           "tisch, gang, status";
    QTest::newRow("list negative monitor")
        << OrderSql::orderList(-2, OrderSql::tableFilter(-1), kSortInsdate)
        << "SELECT * FROM ordisp WHERE monitornr = -2  AND tisch = -1 ORDER BY "
           "insdate";
    QTest::newRow("list tisch sort") << OrderSql::orderList(1, QString(), kSortTischStatus)
                                     << "SELECT * FROM ordisp WHERE monitornr =  1  ORDER BY tisch, status";

    QTest::newRow("in progress positive")
        << OrderSql::setStatus(StatusInProgress, 17) << "UPDATE ordisp SET status = 1 WHERE id =  17";
    QTest::newRow("in progress zero")
        << OrderSql::setStatus(StatusInProgress, 0) << "UPDATE ordisp SET status = 1 WHERE id =  0";
    QTest::newRow("done negative") << OrderSql::setStatus(StatusDone, -4)
                                   << "UPDATE ordisp SET status = 2 WHERE id = -4";
    QTest::newRow("done positive") << OrderSql::setStatus(StatusDone, 2147483647)
                                   << "UPDATE ordisp SET status = 2 WHERE id =  2147483647";

    QTest::newRow("delete positive") << OrderSql::deleteOrder(17) << "DELETE FROM ordisp WHERE id =  17";
    QTest::newRow("delete zero") << OrderSql::deleteOrder(0) << "DELETE FROM ordisp WHERE id =  0";
    QTest::newRow("delete negative") << OrderSql::deleteOrder(-17) << "DELETE FROM ordisp WHERE id = -17";

    QTest::newRow("course positive")
        << OrderSql::courseList(1, 12, 3)
        << "SELECT gast as gnr, * FROM ordisp WHERE monitornr =  1 AND tisch =  12 AND "
           "gang =  3 ORDER BY gast";
    QTest::newRow("course zero")
        << OrderSql::courseList(0, 0, 0)
        << "SELECT gast as gnr, * FROM ordisp WHERE monitornr =  0 AND tisch =  0 AND "
           "gang =  0 ORDER BY gast";
    QTest::newRow("course negative")
        << OrderSql::courseList(-1, -2, -3)
        << "SELECT gast as gnr, * FROM ordisp WHERE monitornr = -1 AND tisch = -2 AND "
           "gang = -3 ORDER BY gast";
}

void TestOrderSql::statements() {
    QFETCH(QString, actual);
    QFETCH(QString, expected);
    QCOMPARE(actual, expected);
}

void TestOrderSql::statusText_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("expected");
    const QVariant neu(QStringLiteral("NEU"));
    const QVariant ia(QStringLiteral("i.A."));
    const QVariant ok(QStringLiteral("OK"));
    QTest::newRow("int 0") << QVariant(0) << neu;
    QTest::newRow("int 1") << QVariant(1) << ia;
    QTest::newRow("int 2") << QVariant(2) << ok;
    QTest::newRow("longlong 2") << QVariant(qlonglong(2)) << ok;
    QTest::newRow("short 1") << QVariant::fromValue<qint16>(1) << ia;
    QTest::newRow("double 0.0") << QVariant(0.0) << neu;
    QTest::newRow("double 2.0") << QVariant(2.0) << ok;
    QTest::newRow("float 1") << QVariant(1.0f) << ia;
    QTest::newRow("int 3 unchanged") << QVariant(3) << QVariant(3);
    QTest::newRow("int -1 unchanged") << QVariant(-1) << QVariant(-1);
    QTest::newRow("double 1.5 unchanged") << QVariant(1.5) << QVariant(1.5);
    QTest::newRow("text 1 unchanged") << QVariant(QStringLiteral("1")) << QVariant(QStringLiteral("1"));
    QTest::newRow("bool unchanged") << QVariant(true) << QVariant(true);
    QTest::newRow("null unchanged") << QVariant() << QVariant();
}

void TestOrderSql::statusText() {
    QFETCH(QVariant, value);
    QFETCH(QVariant, expected);
    const QVariant result = StatusText(value);
    QCOMPARE(result.metaType(), expected.metaType());
    QCOMPARE(result, expected);
}

void TestOrderSql::timeText_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("date time") << QVariant(QDateTime(QDate(2026, 12, 6), QTime(7, 5, 59))) << "07:05";
    QTest::newRow("midnight") << QVariant(QDateTime(QDate(2026, 12, 6), QTime(0, 0))) << "00:00";
    QTest::newRow("time") << QVariant(QTime(23, 59, 1)) << "23:59";
    QTest::newRow("date") << QVariant(QDate(2026, 12, 6)) << "00:00";
    QTest::newRow("iso text") << QVariant(QStringLiteral("2026-12-06 18:30:00")) << "18:30";
    QTest::newRow("iso text T fraction") << QVariant(QStringLiteral("2026-12-06T18:31:02.250")) << "18:31";
    QTest::newRow("iso text minutes") << QVariant(QStringLiteral("2026-12-06 09:07")) << "09:07";
    QTest::newRow("iso date only") << QVariant(QStringLiteral("2026-12-06")) << "00:00";
    QTest::newRow("null") << QVariant() << "";
    QTest::newRow("null date time") << QVariant(QMetaType::fromType<QDateTime>()) << "";
    QTest::newRow("invalid date time") << QVariant(QDateTime()) << "";
    QTest::newRow("not a date") << QVariant(QStringLiteral("gestern")) << "";
    QTest::newRow("impossible date") << QVariant(QStringLiteral("2026-02-30 10:00:00")) << "";
    QTest::newRow("day first text") << QVariant(QStringLiteral("10.05.2024 00:01")) << "00:01";
    QTest::newRow("month first text") << QVariant(QStringLiteral("5/10/2024 21:40:00")) << "21:40";
    QTest::newRow("Windows date number") << QVariant(45000.5) << "12:00";
    QTest::newRow("number of no time") << QVariant(1e300) << "";
}

void TestOrderSql::timeText() {
    QFETCH(QVariant, value);
    QFETCH(QString, expected);
    const QVariant result = TimeText(value);
    QCOMPARE(result.metaType(), QMetaType::fromType<QString>());
    QCOMPARE(result.toString(), expected);
}

QTEST_GUILESS_MAIN(TestOrderSql)
#include "tst_ordersql.moc"
