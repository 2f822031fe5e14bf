#include "DbHelpers.h"
#include "OrderSql.h"
#include "Schema.h"
#include "ServerTestSupport.h"
#include "TestDb.h"

#include <QtTest>

#include <memory>

using namespace ordisp;

const QString kLines = QStringLiteral("SELECT * FROM ordisp ORDER BY id");

// The order table on the file and on the PostgreSQL of the test setup, by the same code.
class TestOrderSql : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase_data();
    void init();
    void statements_data();
    void statements();

private:
    // One column of a query's rows, or id:status of each line; "fails" when it does.
    QString read(const QString& sql, const QString& column);

    PgCluster m_cluster;
    std::unique_ptr<TestDb> m_file;
    std::unique_ptr<ScratchRole> m_role;
    std::unique_ptr<Database> m_db;
};

void TestOrderSql::initTestCase_data() {
    QTest::addColumn<bool>("server");
    QTest::newRow("file") << false;
    QTest::newRow("server") << true;
}

// Five lines with the ids 1 to 5, as a terminal inserts them.
void TestOrderSql::init() {
    QFETCH_GLOBAL(bool, server);
    m_db.reset(); // before the role it is logged in as is dropped
    m_role.reset();
    if (server) {
        ORDISP_REQUIRE_PG(m_cluster);
        // A password that passes only in braces, its brace doubled and its blanks kept; its SERVER= must
        // not be taken for the connection's own.
        m_role = std::make_unique<ScratchRole>(m_cluster, "ordisp_t_ordersql", " a;SERVER=b}c ");
    } else {
        m_file = std::make_unique<TestDb>();
    }
    m_db = std::make_unique<Database>("tst_ordersql");
    DbError error;
    QVERIFY2(m_db->open(m_role ? m_role->settings() : m_file->settings(), &error) &&
                 EnsureOrderSchema(*m_db, nullptr, &error),
             qPrintable(error.description));
    // clang-format off
    const auto at = [](int day) { return QDateTime(QDate(2026, 12, day), QTime(10, 0)); };
    const QList<OrderInput> lines = {
        {1, 12, 3, 2, 0.5, "O'Brien's ''Stew''", 0, at(6)},
        {1, 12, 3, 1, 0.5, "a\\'b\\", 2, at(5)},
        {1, 4, 1, 1, 0.5, "#12/31/2000#", 1, at(5)},
        {2, 7, 1, 1, 0.5, QString(), 2, QDateTime()},
        {1, 12, 4, 1, 0.5, "  Grüße € 😀  ", 2, at(6)},
    };
    // clang-format on
    for (const OrderInput& line : lines)
        QVERIFY2(InsertOrder(*m_db, line, &error), qPrintable(error.description));
    // What cannot be stored is refused.
    QVERIFY(!InsertOrder(*m_db, OrderInput{1, 1, 1, 1, qQNaN(), "x", 0, {}}, &error) && error.isSet());
    QVERIFY(!InsertOrder(*m_db, OrderInput{1, 1, 1, 1, 1.0, QStringLiteral("a") + QChar(0), 0, {}}));
}

QString TestOrderSql::read(const QString& sql, const QString& column) {
    ResultSet rs;
    if (!rs.open(*m_db, sql))
        return QStringLiteral("fails");
    QStringList seen;
    for (; !column.isEmpty() && !rs.eof(); rs.moveNext())
        seen << rs.value(column).toString();
    // Each line as the grid finds it again: from the first row on.
    for (int id = 1; column.isEmpty() && id <= 9; ++id) {
        rs.moveFirst();
        if (rs.find(QStringLiteral("id"), id))
            seen << QStringLiteral("%1:%2").arg(id).arg(FieldValue(rs, QStringLiteral("status")).toInt());
    }
    return seen.join(QLatin1Char('|'));
}

void TestOrderSql::statements_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("terminal");  // run on a terminal's connection, else the display's
    QTest::addColumn<QString>("column"); // read from its rows; none: id:status of each line after it
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QList<int>>("anew"); // lines the refreshed list reads anew; it keeps the others
    const QString kept = QStringLiteral("1:0|2:2|3:1|4:2|5:2");
    // clang-format off
    QTest::newRow("tables") << OrderSql::tableList(1) << false << "tisch" << "4|12" << QList<int>{};
    QTest::newRow("list") << OrderSql::orderList(1, QString(), kSortStatusInsdate) << false << "id" << "1|3|2|5" << QList<int>{};
    QTest::newRow("list of a table") << OrderSql::orderList(1, OrderSql::tableFilter(12), kSortTischGangStatus) << false << "id" << "1|2|5" << QList<int>{};
    QTest::newRow("course by guest") << OrderSql::courseList(1, 12, 3) << false << "gnr" << "1|2" << QList<int>{};
    QTest::newRow("texts as inserted") << kLines << false << "txt" << "O'Brien's ''Stew''|a\\'b\\|#12/31/2000#||  Grüße € 😀  " << QList<int>{};
    QTest::newRow("in progress") << OrderSql::setStatus(StatusInProgress, 1) << false << "" << "1:1|2:2|3:1|4:2|5:2" << QList<int>{1};
    QTest::newRow("done by a terminal") << OrderSql::setStatus(StatusDone, 3) << true << "" << "1:0|2:2|3:2|4:2|5:2" << QList<int>{3};
    QTest::newRow("delete") << OrderSql::deleteOrder(2) << false << "" << "1:0|3:1|4:2|5:2" << QList<int>{};
    QTest::newRow("purge") << OrderSql::purgeDoneOrders("'2026-12-06 00:00:00'") << false << "" << "1:0|3:1|4:2|5:2" << QList<int>{};
    QTest::newRow("text to null") << "UPDATE ordisp SET txt = NULL WHERE id = 3" << true << "" << kept << QList<int>{3};
    QTest::newRow("null text to empty") << "UPDATE ordisp SET txt = '' WHERE id = 4" << true << "" << kept << QList<int>{4};
    QTest::newRow("time") << "UPDATE ordisp SET insdate = '2026-12-06 10:01:00' WHERE id = 1" << true << "" << kept << QList<int>{1};
    QTest::newRow("same time, no seconds") << "UPDATE ordisp SET insdate = '2026-12-06 10:00' WHERE id = 1" << true << "" << kept << QList<int>{};
    QTest::newRow("same status as text") << "UPDATE ordisp SET status = '2' WHERE id = 2" << true << "" << kept << QList<int>{};
    QTest::newRow("quantity a little more") << "UPDATE ordisp SET menge = 0.5000001 WHERE id = 5" << true << "" << kept << QList<int>{5};
    QTest::newRow("table below zero") << "UPDATE ordisp SET tisch = -1 WHERE id = 5" << true << "" << kept << QList<int>{5};
    QTest::newRow("line added") << "INSERT INTO ordisp (id, monitornr) VALUES (9, 1)" << true << "" << kept + "|9:0" << QList<int>{9};
    QTest::newRow("table dropped") << "DROP TABLE ordisp" << false << "" << "fails" << QList<int>{};
    // clang-format on
}

// What each statement does to the table, and what the display's refreshed list then reads anew.
void TestOrderSql::statements() {
    QFETCH(QString, sql);
    QFETCH(bool, terminal);
    QFETCH(QString, column);
    QFETCH(QString, expected);
    QFETCH(QList<int>, anew);
    ResultSet list;
    QVERIFY(list.refresh(*m_db, kLines));
    const ResultSet before = list;
    if (column.isEmpty())
        QVERIFY(terminal ? (m_role ? m_role->exec(sql) : m_file->exec(sql)) : m_db->exec(sql));
    QCOMPARE(read(column.isEmpty() ? kLines : sql, column), expected);
    // The tables taken from the list are those the table list reads, typed alike; a line without a
    // table, or one named by a text, leaves them to the query.
    ResultSet all, tables;
    all.assign(ResultData{{{QStringLiteral("tisch")}}, {{QStringLiteral("4")}}}, QString());
    QVERIFY(!TablesOfList(all));
    if (all.open(*m_db, OrderSql::orderList(1, QString(), kSortStatusInsdate)) &&
        tables.open(*m_db, OrderSql::tableList(1))) {
        const std::optional<QList<QVariant>> named = TablesOfList(all);
        QCOMPARE(named.has_value(), !sql.startsWith(QLatin1String("INSERT")));
        for (qsizetype i = 0; named && i <= named->size(); ++i, tables.moveNext()) // one past the end too
            QCOMPARE(named->value(i).typeName() + named->value(i).toString(),
                     tables.value("tisch").typeName() + tables.value("tisch").toString());
    }
    // The server's upkeep commits now and then: with nothing written one of a few refreshes keeps all.
    bool kept = false;
    for (int i = 0; i < 5 && !column.isEmpty() && !kept; ++i) {
        const ResultRow* last = list.rows().constData();
        QVERIFY(list.refresh(*m_db, kLines));
        kept = list.rows().constData() == last;
    }
    QCOMPARE(kept, !column.isEmpty());
    QCOMPARE(list.refresh(*m_db, kLines), expected != QLatin1String("fails"));
    ResultSet fresh;
    QCOMPARE(list.rows(), (fresh.open(*m_db, kLines) ? fresh : before).rows());
    for (const ResultRow& row : list.rows()) {
        const bool shared =
            std::any_of(before.rows().cbegin(), before.rows().cend(),
                        [&](const ResultRow& old) { return old.constData() == row.constData(); });
        QVERIFY2(shared != anew.contains(row.first().toInt()), qPrintable(row.first().toString()));
    }
}

QTEST_GUILESS_MAIN(TestOrderSql)
#include "tst_ordersql.moc"
