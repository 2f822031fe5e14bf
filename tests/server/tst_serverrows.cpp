#include "Database.h"
#include "OdbcConnectionString.h"
#include "OdbcRows.h"
#include "ResultSet.h"
#include "ServerTestSupport.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

#include <cstring>

using namespace ordisp;

namespace {

const QString kPassword = QStringLiteral("Zeilen-Test 1");
const QString kQuery = QStringLiteral("SELECT * FROM t ORDER BY id");

// The rows as Qt's ODBC driver hands them out one value at a time, with the display's null rule.
ResultData ReadByDriver(const ConnectionSettings& settings, QString* error) {
    ResultData data;
    const QString name = QStringLiteral("driver-reference");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
        db.setDatabaseName(odbc::connectionString(settings, true, QString()));
        if (!db.open()) {
            *error = db.lastError().text();
        } else {
            QSqlQuery query(db);
            query.setForwardOnly(true);
            if (!query.exec(kQuery))
                *error = query.lastError().text();
            const QSqlRecord record = query.record();
            for (int i = 0; i < record.count(); ++i)
                data.columns.append({record.fieldName(i), OdbcColumnKind(record.field(i).metaType())});
            while (query.next()) {
                ResultRow row;
                for (int i = 0; i < record.count(); ++i)
                    row.append(query.isNull(i) ? NullOfKind(data.columns.at(i).kind) : query.value(i));
                data.rows.append(row);
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return data;
}

// Equal type, null and value; numbers bit for bit (NaN, -0).
bool Same(const QVariant& a, const QVariant& b) {
    if (a.metaType() != b.metaType() || a.isNull() != b.isNull())
        return false;
    if (a.metaType().id() == QMetaType::Double && !a.isNull())
        return std::memcmp(a.constData(), b.constData(), sizeof(double)) == 0;
    return a == b;
}

QString Show(const QVariant& v) {
    return QStringLiteral("%1%2 '%3'")
        .arg(QString::fromLatin1(v.metaType().name()), v.isNull() ? QStringLiteral(" null") : QString(),
             v.toString());
}

} // namespace

class TestServerRows : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void readsAsTheDriver_data();
    void readsAsTheDriver();
    void unchangedRowsShared();
    void stampMovesWithEveryCommit();

private:
    PgCluster m_cluster;
};

void TestServerRows::initTestCase() {
    ORDISP_REQUIRE_PG(m_cluster);
}

void TestServerRows::readsAsTheDriver_data() {
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("values");
    const QString longText = QStringLiteral("'%1'").arg(QString(255, QChar(0x00E4)));
    QTest::newRow("integer") << "integer" << QStringList{"2147483647", "-2147483648", "0", "NULL"};
    QTest::newRow("bigint") << "bigint" << QStringList{"9223372036854775807", "-1", "NULL"};
    QTest::newRow("smallint") << "smallint" << QStringList{"-32768", "NULL"};
    QTest::newRow("double") << "double precision"
                            << QStringList{"0.1", "'-0'", "1e308", "'NaN'", "'-Infinity'", "NULL"};
    QTest::newRow("numeric") << "numeric(14,4)" << QStringList{"12345678.1234", "-0.0001", "NULL"};
    QTest::newRow("real") << "real" << QStringList{"1.5", "NULL"};
    QTest::newRow("varchar") << "varchar(255)" << QStringList{"'Käsespätzle'", "'  zwei Blanks  '",  "''",
                                                              "'€ 😀 Ω'",       "E'Zeile\\r\\nzwei'", longText,
                                                              "NULL"};
    QTest::newRow("char") << "char(5)" << QStringList{"'ab'", "NULL"};
    QTest::newRow("text") << "text" << QStringList{"'Suppe \"Haus\"'", "NULL"};
    QTest::newRow("timestamp") << "timestamp"
                               << QStringList{"'2024-05-10 09:05:00'", "'2024-05-10 23:59:59.999'",
                                              "'2024-03-31 02:30:00.123456'", "'1899-12-30 00:00'", "NULL"};
    QTest::newRow("timestamptz") << "timestamp with time zone"
                                 << QStringList{"'2024-05-10 09:05:00+02'", "NULL"};
    QTest::newRow("date") << "date" << QStringList{"'2024-02-29'", "NULL"};
    QTest::newRow("time") << "time" << QStringList{"'23:59:59'", "NULL"};
    QTest::newRow("boolean") << "boolean" << QStringList{"true", "false", "NULL"};
    QTest::newRow("bytea") << "bytea" << QStringList{"'\\x00ff'", "NULL"};
}

// Whatever a column's type, the rows read bound and in blocks are those the driver gives one value at
// a time: the same types, the same nulls of the same kinds, the same values.
void TestServerRows::readsAsTheDriver() {
    QFETCH(QString, type);
    QFETCH(QStringList, values);
    ScratchRole role(m_cluster, QStringLiteral("ordisp_t_rows"), kPassword);
    QVERIFY2(role.isValid(), qPrintable(role.errorText()));
    QVERIFY(role.exec(QStringLiteral("CREATE TABLE t (id integer, v %1)").arg(type)));
    for (int i = 0; i < values.size(); ++i)
        QVERIFY(role.exec(QStringLiteral("INSERT INTO t VALUES (%1, %2)").arg(i + 1).arg(values.at(i))));

    QString error;
    const ResultData expected = ReadByDriver(role.settings(), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    Database db(QStringLiteral("rows"));
    QVERIFY(db.open(role.settings()));
    ResultData read;
    DbError dbError;
    QVERIFY2(db.select(kQuery, &read, &dbError), qPrintable(dbError.description));

    QCOMPARE(read.columns.size(), expected.columns.size());
    for (qsizetype c = 0; c < read.columns.size(); ++c) {
        QCOMPARE(read.columns.at(c).name, expected.columns.at(c).name);
        QCOMPARE(read.columns.at(c).kind, expected.columns.at(c).kind);
    }
    QCOMPARE(read.rows.size(), values.size());
    for (qsizetype r = 0; r < read.rows.size(); ++r) {
        for (qsizetype c = 0; c < read.columns.size(); ++c) {
            const QVariant& got = read.rows.at(r).at(c);
            const QVariant& want = expected.rows.at(r).at(c);
            QVERIFY2(
                Same(got, want),
                qPrintable(QStringLiteral("%1: %2 instead of %3").arg(values.at(r), Show(got), Show(want))));
        }
    }
}

// A refresh hands out the rows that read as before, not copies; a changed one is read anew.
void TestServerRows::unchangedRowsShared() {
    ScratchRole role(m_cluster, QStringLiteral("ordisp_t_shared"), kPassword);
    QVERIFY2(role.isValid(), qPrintable(role.errorText()));
    QVERIFY(role.exec(QStringLiteral("CREATE TABLE t (id integer, txt varchar(255), insdate timestamp, "
                                     "menge double precision)")));
    QVERIFY(role.exec(QStringLiteral("INSERT INTO t SELECT g, 'Gericht ' || g, '2024-05-10 12:00'::timestamp "
                                     "+ g * interval '1 minute', g / 2.0 FROM generate_series(1, 600) g")));
    Database db(QStringLiteral("shared"));
    QVERIFY(db.open(role.settings()));
    ResultData first;
    QVERIFY(db.select(kQuery, &first));
    QVERIFY(role.exec(QStringLiteral("UPDATE t SET txt = 'Gericht 300 ' WHERE id = 300")));
    ResultData second;
    QVERIFY(db.select(kQuery, &second, nullptr, &first));
    QCOMPARE(second.rows.size(), 600);
    for (qsizetype r = 0; r < second.rows.size(); ++r) {
        const bool shared = second.rows.at(r).constData() == first.rows.at(r).constData();
        QVERIFY2(shared == (r != 299), qPrintable(QString::number(r)));
    }
    QCOMPARE(second.rows.at(299).at(1).toString(), QStringLiteral("Gericht 300 "));
}

// The server's stamp stays while nobody commits and moves with any commit, another connection's
// included; a refresh then reads again.
void TestServerRows::stampMovesWithEveryCommit() {
    ScratchRole role(m_cluster, QStringLiteral("ordisp_t_stamp"), kPassword);
    QVERIFY2(role.isValid() && role.initTables(), qPrintable(role.errorText()));
    Database db(QStringLiteral("stamp"));
    QVERIFY(db.open(role.settings()));
    const QString sql = QStringLiteral("SELECT id, txt FROM ordisp ORDER BY id");
    ResultSet rs;
    QVERIFY(rs.refresh(db, sql));
    // The cluster's own work (autovacuum) commits now and then: one quiet pair of the few is enough.
    std::optional<DataStamp> before;
    bool stays = false;
    for (int i = 0; i < 5 && !stays; ++i) {
        before = db.dataStamp();
        QVERIFY(before);
        stays = db.dataStamp() == before;
    }
    QVERIFY(stays);

    QVERIFY(role.exec(QStringLiteral("INSERT INTO ordisp (monitornr, txt) VALUES (1, 'Suppe')")));
    QVERIFY(db.dataStamp() != before);
    QVERIFY(rs.refresh(db, sql));
    QCOMPARE(rs.rowCount(), 1);
    // Its own write too.
    const std::optional<DataStamp> after = db.dataStamp();
    QVERIFY(db.exec(QStringLiteral("UPDATE ordisp SET txt = 'Salat'")));
    QVERIFY(db.dataStamp() != after);

    // A view's rows may change without a commit (a time in its condition): no stamp for it.
    QVERIFY(role.exec(QStringLiteral("ALTER TABLE ordisp RENAME TO lines")));
    QVERIFY(role.exec(QStringLiteral("CREATE VIEW ordisp AS SELECT * FROM lines")));
    QVERIFY(!db.dataStamp());
}

QTEST_GUILESS_MAIN(TestServerRows)
#include "tst_serverrows.moc"
