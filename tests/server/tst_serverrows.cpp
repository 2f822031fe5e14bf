#include "OdbcConnectionString.h"
#include "OdbcRows.h"
#include "ServerTestSupport.h"

#include <QSqlDatabase>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

#include <cstring>

using namespace ordisp;

class TestServerRows : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void readsAsTheDriver_data();
    void readsAsTheDriver();

private:
    PgCluster m_cluster;
};

void TestServerRows::readsAsTheDriver_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("values");
    // clang-format off
    QTest::newRow("integer") << "integer" << QStringList{"2147483647", "-2147483648", "0", "NULL"};
    QTest::newRow("more than a block") << "integer" << QStringList(600, "7");
    QTest::newRow("bigint") << "bigint" << QStringList{"9223372036854775807", "-1", "NULL"};
    QTest::newRow("smallint") << "smallint" << QStringList{"-32768", "NULL"};
    QTest::newRow("double") << "double precision" << QStringList{"0.1", "'-0'", "1e308", "'NaN'", "'-Infinity'", "NULL"};
    QTest::newRow("numeric") << "numeric(14,4)" << QStringList{"12345678.1234", "-0.0001", "NULL"};
    QTest::newRow("varchar") << "varchar(255)" << QStringList{"'Käsespätzle'", "'  zwei Blanks  '", "''", "'€ 😀 Ω'", "E'Zeile\\r\\nzwei'", QStringLiteral("'%1'").arg(QString(255, QChar(0xE4))), "NULL"};
    QTest::newRow("char") << "char(5)" << QStringList{"'ab'", "NULL"};
    QTest::newRow("text") << "text" << QStringList{"'Suppe \"Haus\"'", "NULL"};
    QTest::newRow("timestamp") << "timestamp" << QStringList{"'2024-05-10 09:05:00'", "'2024-05-10 23:59:59.999'", "'2024-03-31 02:30:00.123456'", "'1899-12-30 00:00'", "NULL"};
    QTest::newRow("timestamptz") << "timestamp with time zone" << QStringList{"'2024-05-10 09:05:00+02'", "NULL"};
    QTest::newRow("date") << "date" << QStringList{"'2024-02-29'", "NULL"};
    QTest::newRow("time") << "time" << QStringList{"'23:59:59'", "NULL"};
    QTest::newRow("boolean") << "boolean" << QStringList{"true", "false", "NULL"};
    QTest::newRow("bytea") << "bytea" << QStringList{"'\\x00ff'", "NULL"};
    // clang-format on
}

// Whatever a column's type, the rows read bound and in blocks are those Qt's ODBC driver gives one
// value at a time: the same types, the same nulls of the same kinds, the same values.
void TestServerRows::readsAsTheDriver() {
    QFETCH(QString, type);
    QFETCH(QStringList, values);
    ORDISP_REQUIRE_PG(m_cluster);
    ScratchRole role(m_cluster, QStringLiteral("ordisp_t_rows"), QStringLiteral("Zeilen-Test 1"));
    QStringList rows;
    for (int i = 0; i < values.size(); ++i)
        rows << QStringLiteral("(%1, %2)").arg(i).arg(values.at(i));
    QVERIFY2(role.exec(QStringLiteral("CREATE TABLE t (id integer, v %1)").arg(type)) &&
                 role.exec(QStringLiteral("INSERT INTO t VALUES ") + rows.join(QLatin1Char(','))),
             qPrintable(role.errorText()));
    const QString sql = QStringLiteral("SELECT v FROM t ORDER BY id");
    ResultData driver; // as Qt's driver reads them, with the display's rule for nulls
    {
        QSqlDatabase connection =
            QSqlDatabase::addDatabase(QStringLiteral("QODBC"), QStringLiteral("driver"));
        connection.setDatabaseName(odbc::connectionString(role.settings(), true, QString()));
        QVERIFY(connection.open()); // before the query, which takes over how the driver reads text
        QSqlQuery query(connection);
        QVERIFY(query.exec(sql));
        driver.columns = {{query.record().fieldName(0), OdbcColumnKind(query.record().field(0).metaType())}};
        while (query.next())
            driver.rows.append({query.isNull(0) ? NullOfKind(driver.columns.first().kind) : query.value(0)});
    }
    QSqlDatabase::removeDatabase(QStringLiteral("driver"));
    Database db(QStringLiteral("rows"));
    ResultData read;
    QVERIFY(db.open(role.settings()) && db.select(sql, &read));
    QCOMPARE(read.columns.first().kind, driver.columns.first().kind);
    QCOMPARE(read.rows.size(), values.size());
    for (qsizetype r = 0; r < read.rows.size(); ++r) {
        const QVariant& got = read.rows.at(r).first();
        const QVariant& want = driver.rows.at(r).first();
        // Numbers bit for bit: NaN, -0.
        const bool same = got.metaType() == want.metaType() && got.isNull() == want.isNull() &&
                          (got.metaType().id() == QMetaType::Double && !got.isNull()
                               ? std::memcmp(got.constData(), want.constData(), sizeof(double)) == 0
                               : got == want);
        QVERIFY2(same, qPrintable(values.at(r) + QStringLiteral(" reads as ") + got.toString()));
    }
}

QTEST_GUILESS_MAIN(TestServerRows)
#include "tst_serverrows.moc"
