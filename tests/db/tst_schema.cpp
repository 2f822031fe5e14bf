#include "DbHelpers.h"
#include "DbTestSupport.h"
#include "Schema.h"

#include <QtTest>

using namespace ordisp;

class TestSchema : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void createsEverythingOnAnEmptyFile();
    void secondRunKeepsData();
    void existingTablesAreLeftAlone();
    void systemRowAddedOnlyWhenNone();
    void insertOrderStoresValues_data();
    void insertOrderStoresValues();
    void insertOrderNulls();
    void insertOrderRefusesWhatCannotBeStored_data();
    void insertOrderRefusesWhatCannotBeStored();
    void failsWithoutConnection();
};

namespace {

ResultData selectAll(Database& db, const QString& sql) {
    ResultData data;
    DbError error;
    if (!db.select(sql, &data, &error))
        qWarning() << sql << error.description;
    return data;
}

} // namespace

void TestSchema::createsEverythingOnAnEmptyFile() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_schema"));
    QVERIFY(test::openScratchDatabase(db, dir, {}));
    QStringList created;
    DbError error;
    QVERIFY2(EnsureOrderSchema(db, &created, &error), qPrintable(error.description));
    QCOMPARE(created, (QStringList{"Tabelle ordisp", "Index ordisp_monitor_tisch", "Tabelle system",
                                   "Zeile in system"}));

    const ResultData orders = selectAll(db, QStringLiteral("SELECT * FROM ordisp"));
    QStringList names;
    for (const ResultColumn& c : orders.columns)
        names << c.name;
    QCOMPARE(names,
             (QStringList{"id", "monitornr", "tisch", "gang", "gast", "menge", "txt", "status", "insdate"}));
    QCOMPARE(orders.columns.at(6).kind, ColumnKind::Character);
    QCOMPARE(orders.columns.at(8).kind, ColumnKind::Date);

    const ResultData system = selectAll(db, QStringLiteral("SELECT moddate, booltest FROM system"));
    QCOMPARE(system.rows.size(), 1);
    QCOMPARE(system.columns.at(0).kind, ColumnKind::Date);
    // The start-up probes work on it as they stand.
    QVERIFY(ExecSql(db, QStringLiteral("UPDATE system SET moddate = '31.12.2000'")));
    QVERIFY(ExecSql(db, QStringLiteral("UPDATE system SET booltest = -1")));

    const ResultData index =
        selectAll(db, QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'ordisp_monitor_tisch'"));
    QCOMPARE(index.rows.size(), 1);
    QVERIFY(index.rows.first().first().toString().contains(QLatin1String("(monitornr, tisch)")));
}

void TestSchema::secondRunKeepsData() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_schema"));
    QVERIFY(test::openScratchDatabase(db, dir, {}));
    QVERIFY(EnsureOrderSchema(db));
    OrderInput order;
    order.monitorNr = 1;
    order.table = 12;
    order.text = QStringLiteral("Suppe");
    QVERIFY(InsertOrder(db, order));
    QVERIFY(InsertOrder(db, order));
    QVERIFY(db.exec(QStringLiteral("UPDATE system SET booltest = 1")));

    QStringList created{QStringLiteral("stale")};
    created.clear();
    DbError error;
    QVERIFY2(EnsureOrderSchema(db, &created, &error), qPrintable(error.description));
    QVERIFY(created.isEmpty());
    QCOMPARE(selectAll(db, QStringLiteral("SELECT id FROM ordisp")).rows.size(), 2);
    const ResultData system = selectAll(db, QStringLiteral("SELECT booltest FROM system"));
    QCOMPARE(system.rows.size(), 1);
    QCOMPARE(system.rows.first().first().toInt(), 1);
}

void TestSchema::existingTablesAreLeftAlone() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_schema"));
    // A terminal's own table, with a column of its own and in upper case.
    QVERIFY(test::openScratchDatabase(
        db, dir,
        {QStringLiteral(
             "CREATE TABLE ORDISP (id INTEGER PRIMARY KEY, monitornr INTEGER, tisch INTEGER, gang "
             "INTEGER, gast INTEGER, menge REAL, txt VARCHAR(80), status INTEGER, insdate DATETIME, "
             "kasse INTEGER)"),
         QStringLiteral("INSERT INTO ORDISP (id, kasse) VALUES (5, 3)")}));
    QStringList created;
    QVERIFY(EnsureOrderSchema(db, &created));
    QCOMPARE(created, (QStringList{"Tabelle system", "Zeile in system"}));
    const ResultData orders = selectAll(db, QStringLiteral("SELECT id, kasse FROM ordisp"));
    QCOMPARE(orders.rows.size(), 1);
    QCOMPARE(orders.rows.first().at(1).toInt(), 3);
}

void TestSchema::systemRowAddedOnlyWhenNone() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_schema"));
    QVERIFY(test::openScratchDatabase(
        db, dir,
        {test::orderTableDdl(), QStringLiteral("CREATE TABLE system (moddate DATETIME, "
                                               "booltest SMALLINT, other TEXT)")}));
    QStringList created;
    QVERIFY(EnsureOrderSchema(db, &created));
    QCOMPARE(created, QStringList{"Zeile in system"});
    QVERIFY(db.exec(QStringLiteral("INSERT INTO system (other) VALUES ('second')")));
    created.clear();
    QVERIFY(EnsureOrderSchema(db, &created));
    QVERIFY(created.isEmpty());
    QCOMPARE(selectAll(db, QStringLiteral("SELECT * FROM system")).rows.size(), 2);
}

void TestSchema::insertOrderStoresValues_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "Wiener Schnitzel";
    QTest::newRow("quote") << "O'Brien's Stew";
    QTest::newRow("quote at the end") << "Suppe'";
    QTest::newRow("doubled quotes") << "''";
    QTest::newRow("statement in text") << "x'); DELETE FROM ordisp; --";
    QTest::newRow("placeholder-like") << "%1 %2 :name ?";
    QTest::newRow("backslash") << "a\\'b\\";
    QTest::newRow("jet literal") << "#12/31/2000#";
    QTest::newRow("umlauts and euro") << "Grüße €";
    QTest::newRow("blanks kept") << "  Suppe  ";
    QTest::newRow("empty") << "";
}

void TestSchema::insertOrderStoresValues() {
    QFETCH(QString, text);
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_schema"));
    QVERIFY(test::openScratchDatabase(db, dir, {}));
    QVERIFY(EnsureOrderSchema(db));
    OrderInput order;
    order.monitorNr = 3;
    order.table = -2;
    order.course = 8;
    order.guest = 4;
    order.quantity = 0.1;
    order.text = text;
    order.status = 2;
    order.insdate = QDateTime(QDate(2026, 12, 6), QTime(18, 30, 5));
    DbError error;
    QVERIFY2(InsertOrder(db, order, &error), qPrintable(error.description));
    QVERIFY2(InsertOrder(db, order, &error), qPrintable(error.description));

    const ResultData data = selectAll(
        db,
        QStringLiteral("SELECT id, monitornr, tisch, gang, gast, menge, txt, status, insdate FROM ordisp"));
    QCOMPARE(data.rows.size(), 2);
    const ResultRow& row = data.rows.first();
    QVERIFY(row.at(0).toInt() > 0);
    QVERIFY(data.rows.at(1).at(0).toInt() != row.at(0).toInt());
    QCOMPARE(row.at(1).toInt(), 3);
    QCOMPARE(row.at(2).toInt(), -2);
    QCOMPARE(row.at(3).toInt(), 8);
    QCOMPARE(row.at(4).toInt(), 4);
    QCOMPARE(row.at(5).toDouble(), 0.1);
    QCOMPARE(row.at(6), QVariant(text));
    QCOMPARE(row.at(7).toInt(), 2);
    QCOMPARE(row.at(8), QVariant(QDateTime(QDate(2026, 12, 6), QTime(18, 30, 5))));
}

void TestSchema::insertOrderNulls() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_schema"));
    QVERIFY(test::openScratchDatabase(db, dir, {}));
    QVERIFY(EnsureOrderSchema(db));
    OrderInput order;
    order.status = std::nullopt;
    QVERIFY(InsertOrder(db, order));
    const ResultData data = selectAll(db, QStringLiteral("SELECT txt, status, insdate FROM ordisp"));
    QCOMPARE(data.rows.size(), 1);
    for (const QVariant& value : data.rows.first())
        QVERIFY(value.isNull());
    // Stored text is exactly what the raw table holds, so the null reached the file as NULL.
    const ResultData raw =
        selectAll(db, QStringLiteral("SELECT typeof(txt), typeof(status), typeof(insdate) FROM ordisp"));
    QCOMPARE(raw.rows.first(),
             (ResultRow{QStringLiteral("null"), QStringLiteral("null"), QStringLiteral("null")}));
}

void TestSchema::insertOrderRefusesWhatCannotBeStored_data() {
    QTest::addColumn<double>("quantity");
    QTest::addColumn<QString>("text");
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "x";
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "x";
    QTest::newRow("null character") << 1.0 << QStringLiteral("a") + QChar(0) + QStringLiteral("b");
}

void TestSchema::insertOrderRefusesWhatCannotBeStored() {
    QFETCH(double, quantity);
    QFETCH(QString, text);
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_schema"));
    QVERIFY(test::openScratchDatabase(db, dir, {}));
    QVERIFY(EnsureOrderSchema(db));
    OrderInput order;
    order.quantity = quantity;
    order.text = text;
    DbError error;
    QVERIFY(!InsertOrder(db, order, &error));
    QVERIFY(error.isSet());
    QVERIFY(selectAll(db, QStringLiteral("SELECT id FROM ordisp")).rows.isEmpty());
}

void TestSchema::failsWithoutConnection() {
    Database db(QStringLiteral("tst_schema"));
    DbError error;
    QVERIFY(!EnsureOrderSchema(db, nullptr, &error));
    QVERIFY(error.isSet());
    QVERIFY(!InsertOrder(db, OrderInput{}, &error));
}

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
