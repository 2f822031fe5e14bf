#include "DateConversion.h"
#include "DbTestSupport.h"
#include "SqliteSupport.h"

#include <QtTest>

using namespace ordisp;

class TestSqliteSupport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void kindFromDeclaredType_data();
    void kindFromDeclaredType();
    void storedTimeComparison_data();
    void storedTimeComparison();
    void ordispTime_data();
    void ordispTime();
    void parseIsoDateTime_data();
    void parseIsoDateTime();
    void parseIsoDateTimeFromBytes_data() { parseIsoDateTime_data(); }
    void parseIsoDateTimeFromBytes();
    void parseIsoDateTimeRepeated();
};

void TestSqliteSupport::kindFromDeclaredType_data() {
    QTest::addColumn<QByteArray>("declared");
    QTest::addColumn<int>("kind");
    QTest::newRow("VARCHAR(255)") << QByteArray("VARCHAR(255)") << int(ColumnKind::Character);
    QTest::newRow("nvarchar") << QByteArray("nvarchar(10)") << int(ColumnKind::Character);
    QTest::newRow("CHAR") << QByteArray("CHAR") << int(ColumnKind::Character);
    QTest::newRow("TEXT") << QByteArray("TEXT") << int(ColumnKind::Character);
    QTest::newRow("CLOB") << QByteArray("CLOB") << int(ColumnKind::Character);
    QTest::newRow("BIT") << QByteArray("BIT") << int(ColumnKind::Boolean);
    QTest::newRow("bool") << QByteArray("bool") << int(ColumnKind::Boolean);
    QTest::newRow("BOOLEAN") << QByteArray("BOOLEAN") << int(ColumnKind::Boolean);
    QTest::newRow("DATE") << QByteArray("DATE") << int(ColumnKind::Date);
    QTest::newRow("DATETIME") << QByteArray("DATETIME") << int(ColumnKind::Date);
    QTest::newRow("TIMESTAMP(3)") << QByteArray("TIMESTAMP(3)") << int(ColumnKind::Date);
    QTest::newRow("timestamp with time zone")
        << QByteArray("timestamp with time zone") << int(ColumnKind::Date);
    QTest::newRow("TIME") << QByteArray("TIME") << int(ColumnKind::Other);
    QTest::newRow("DATETIME2 is not Jet's") << QByteArray("DATETIME2") << int(ColumnKind::Other);
    QTest::newRow("BITS") << QByteArray("BITS") << int(ColumnKind::Other);
    QTest::newRow("INTEGER") << QByteArray("INTEGER") << int(ColumnKind::Other);
    QTest::newRow("REAL") << QByteArray("REAL") << int(ColumnKind::Other);
    QTest::newRow("empty") << QByteArray("") << int(ColumnKind::Other);
}

void TestSqliteSupport::kindFromDeclaredType() {
    QFETCH(QByteArray, declared);
    QFETCH(int, kind);
    QCOMPARE(int(ordisp::kindFromDeclaredType(declared.constData())), kind);
    QCOMPARE(ordisp::kindFromDeclaredType(nullptr), ColumnKind::Other);
}

void TestSqliteSupport::storedTimeComparison_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    QTest::newRow("purge")
        << "DELETE FROM ordisp WHERE status = 2 AND insdate < #12/06/2026 00:00:00#"
        << "DELETE FROM ordisp WHERE status = 2 AND ordisp_time(insdate) < '2026-12-06 00:00:00'";
    QTest::newRow("after WHERE, no blanks") << "SELECT 1 WHERE insdate>=#12/06/2026#"
                                            << "SELECT 1 WHERE ordisp_time(insdate)>='2026-12-06 00:00:00'";
    QTest::newRow("in parentheses") << "WHERE (insdate <> #12/06/2026#)"
                                    << "WHERE (ordisp_time(insdate) <> '2026-12-06 00:00:00')";
    QTest::newRow("qualified column") << "WHERE o.insdate <= #12/06/2026#"
                                      << "WHERE ordisp_time(o.insdate) <= '2026-12-06 00:00:00'";
    QTest::newRow("lower case keyword") << "where x = 1 or insdate = #12/06/2026#"
                                        << "where x = 1 or ordisp_time(insdate) = '2026-12-06 00:00:00'";
    QTest::newRow("expression left alone") << "WHERE a + insdate < #12/06/2026#"
                                           << "WHERE a + insdate < '2026-12-06 00:00:00'";
    QTest::newRow("between left alone")
        << "WHERE insdate BETWEEN #12/06/2026# AND #12/07/2026#"
        << "WHERE insdate BETWEEN '2026-12-06 00:00:00' AND '2026-12-07 00:00:00'";
    QTest::newRow("literal on the left") << "WHERE #12/06/2026# > insdate"
                                         << "WHERE '2026-12-06 00:00:00' > insdate";
    QTest::newRow("set clause") << "UPDATE system SET moddate = #12/31/2000#"
                                << "UPDATE system SET moddate = '2000-12-31 00:00:00'";
    QTest::newRow("quoted literal untouched") << "WHERE insdate < '#12/06/2026#'"
                                              << "WHERE insdate < '#12/06/2026#'";
}

void TestSqliteSupport::storedTimeComparison() {
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    QCOMPARE(translateJetSql(sql, true), expected);
}

void TestSqliteSupport::ordispTime_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QVariant>("expected");
    const QDateTime noon(QDate(2026, 12, 6), QTime(12, 0));
    const qint64 unix = noon.toSecsSinceEpoch();
    const double julian = unix / 86400.0 + 2440587.5;
    const QString noonText = QStringLiteral("2026-12-06 12:00:00");
    QTest::newRow("unix seconds") << QString::number(unix) << QVariant(noonText);
    QTest::newRow("unix seconds real") << QString::number(unix) + QStringLiteral(".0") << QVariant(noonText);
    QTest::newRow("julian day") << QString::number(julian, 'f', 8) << QVariant(noonText);
    QTest::newRow("iso text") << "'2026-12-06 12:00:00'" << QVariant(noonText);
    QTest::newRow("iso text with T and fraction") << "'2026-12-06T12:00:00.999'" << QVariant(noonText);
    QTest::newRow("iso date only") << "'2026-12-06'" << QVariant(QStringLiteral("2026-12-06 00:00:00"));
    QTest::newRow("day first") << "'06.12.2026 12:00'" << QVariant(noonText);
    QTest::newRow("month first") << "'12/06/2026 12:00:00'" << QVariant(noonText);
    QTest::newRow("Windows date number") << "46362.5" << QVariant(noonText);
    QTest::newRow("other text is no time") << "'gestern'" << QVariant();
    QTest::newRow("empty text is no time") << "''" << QVariant();
    QTest::newRow("impossible day first") << "'31.02.2026'" << QVariant();
    QTest::newRow("bytes are no time") << "X'00FF'" << QVariant();
    QTest::newRow("null") << "NULL" << QVariant();
    QTest::newRow("number of no time") << "1e300" << QVariant();
}

void TestSqliteSupport::ordispTime() {
    QFETCH(QString, argument);
    QFETCH(QVariant, expected);
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_sqlitesupport"));
    QVERIFY(test::openScratchDatabase(db, dir, {}));
    ResultData data;
    DbError error;
    QVERIFY2(db.select(QStringLiteral("SELECT ordisp_time(%1) AS t").arg(argument), &data, &error),
             qPrintable(error.description));
    QCOMPARE(data.rows.size(), 1);
    const QVariant value = data.rows.first().first();
    QCOMPARE(value.isNull(), expected.isNull());
    if (!expected.isNull())
        QCOMPARE(value.toString(), expected.toString());
}

void TestSqliteSupport::parseIsoDateTime_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected"); // invalid: not a date
    QTest::newRow("seconds") << "2026-12-06 18:30:05" << QDateTime(QDate(2026, 12, 6), QTime(18, 30, 5));
    QTest::newRow("T") << "2026-12-06T18:30:05" << QDateTime(QDate(2026, 12, 6), QTime(18, 30, 5));
    QTest::newRow("fraction") << "2026-12-06 18:30:05.5"
                              << QDateTime(QDate(2026, 12, 6), QTime(18, 30, 5, 500));
    QTest::newRow("long fraction") << "2026-12-06 18:30:05.123456789"
                                   << QDateTime(QDate(2026, 12, 6), QTime(18, 30, 5, 123));
    QTest::newRow("minutes") << "2026-12-06 18:30" << QDateTime(QDate(2026, 12, 6), QTime(18, 30));
    QTest::newRow("date") << "2026-12-06" << QDateTime(QDate(2026, 12, 6), QTime(0, 0));
    QTest::newRow("blanks around") << " 2026-12-06 " << QDateTime(QDate(2026, 12, 6), QTime(0, 0));
    QTest::newRow("day first") << "06.12.2026" << QDateTime();
    QTest::newRow("impossible") << "2026-13-01" << QDateTime();
    QTest::newRow("zone suffix") << "2026-12-06T18:30:05Z" << QDateTime();
    QTest::newRow("empty") << "" << QDateTime();
    QTest::newRow("February 30th") << "2026-02-30 12:00:00" << QDateTime();
    QTest::newRow("hour 24") << "2026-12-06 24:00:00" << QDateTime();
    QTest::newRow("minute 60") << "2026-12-06 18:60" << QDateTime();
    QTest::newRow("fraction without digits") << "2026-12-06 18:30:05." << QDateTime();
    QTest::newRow("ten fraction digits") << "2026-12-06 18:30:05.1234567890" << QDateTime();
    QTest::newRow("one-digit month") << "2026-1-06" << QDateTime();
    QTest::newRow("blank after") << "2026-12-06 18:30:05 " << QDateTime(QDate(2026, 12, 6), QTime(18, 30, 5));
    QTest::newRow("other separator") << "2026-12-06_18:30:05" << QDateTime();
    QTest::newRow("leap day") << "2024-02-29 23:59:59" << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59));
}

void TestSqliteSupport::parseIsoDateTime() {
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const auto parsed = ordisp::parseIsoDateTime(text);
    QCOMPARE(parsed.has_value(), expected.isValid());
    if (parsed)
        QCOMPARE(*parsed, expected);
}

void TestSqliteSupport::parseIsoDateTimeFromBytes() {
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const QByteArray utf8 = text.toUtf8();
    const auto parsed = ordisp::parseIsoDateTime(QByteArrayView(utf8));
    QCOMPARE(parsed.has_value(), expected.isValid());
    if (parsed)
        QCOMPARE(*parsed, expected);
}

void TestSqliteSupport::parseIsoDateTimeRepeated() {
    // Times read before are handed out again; each must still be its own.
    for (int second = 0; second < 3; ++second) {
        for (int pass = 0; pass < 2; ++pass) {
            const auto parsed = ordisp::parseIsoDateTime(
                QStringLiteral("2026-12-06 18:30:%1").arg(second, 2, 10, QLatin1Char('0')));
            QVERIFY(parsed);
            QCOMPARE(*parsed, QDateTime(QDate(2026, 12, 6), QTime(18, 30, second)));
            QCOMPARE(parsed->timeSpec(), Qt::LocalTime);
        }
    }
}

QTEST_GUILESS_MAIN(TestSqliteSupport)
#include "tst_sqlitesupport.moc"
