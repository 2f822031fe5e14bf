#include "DbTestSupport.h"
#include "ResultSet.h"

#include <QtTest>

using namespace ordisp;

class TestResultSet : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void openReadsEveryRow();
    void emptyResultIsAtEnd();
    void moveNextWalksToTheEnd();
    void setCurrentRowOutsideGoesToEnd_data();
    void setCurrentRowOutsideGoesToEnd();
    void find_data();
    void find();
    void findSearchesForwardOnly();
    void findFromEndFindsNothing();
    void requeryRunsTheStatementAgain();
    void failedRequeryKeepsRows();
    void closeForgetsEverything();
    void failedOpenReportsError();
    void missingColumnReadsInvalid();

private:
    QTemporaryDir* m_dir = nullptr;
    Database* m_db = nullptr;
};

void TestResultSet::init() {
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_db = new Database(QStringLiteral("tst_resultset"));
    QVERIFY(test::openScratchDatabase(
        *m_db, *m_dir,
        {test::orderTableDdl(),
         "INSERT INTO ordisp (id, monitornr, tisch, status, txt) VALUES (-3, 1, 4, 0, 'a')",
         "INSERT INTO ordisp (id, monitornr, tisch, status, txt) VALUES (5, 1, 4, 2, 'b')",
         "INSERT INTO ordisp (id, monitornr, tisch, status, txt) VALUES (17, 1, 7, 1, 'c')",
         "INSERT INTO ordisp (id, monitornr, tisch, status, txt) VALUES (20, 1, 7, 2, 'd')"}));
}

void TestResultSet::cleanup() {
    delete m_db;
    m_db = nullptr;
    delete m_dir;
    m_dir = nullptr;
}

void TestResultSet::openReadsEveryRow() {
    ResultSet rs;
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT * FROM ordisp ORDER BY id")));
    QVERIFY(rs.isOpen());
    QCOMPARE(rs.rowCount(), 4);
    QCOMPARE(rs.currentRow(), 0);
    QVERIFY(!rs.eof());
    QCOMPARE(rs.value(QStringLiteral("id")).toInt(), -3);
    QCOMPARE(rs.columns().size(), 9);
    QCOMPARE(rs.kind(QStringLiteral("txt")), ColumnKind::Character);
    QCOMPARE(rs.kind(QStringLiteral("insdate")), ColumnKind::Date);
    QCOMPARE(rs.kind(QStringLiteral("status")), ColumnKind::Other);
    QCOMPARE(rs.columnIndex(QStringLiteral("TISCH")), 2);
}

void TestResultSet::emptyResultIsAtEnd() {
    ResultSet rs;
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT * FROM ordisp WHERE id = 999")));
    QVERIFY(rs.isOpen());
    QCOMPARE(rs.rowCount(), 0);
    QVERIFY(rs.eof());
    QCOMPARE(rs.currentRow(), -1);
    QVERIFY(!rs.value(QStringLiteral("id")).isValid());
}

void TestResultSet::moveNextWalksToTheEnd() {
    ResultSet rs;
    QVERIFY(rs.open(
        *m_db,
        QStringLiteral("SELECT tisch FROM ordisp WHERE monitornr =  1 GROUP BY tisch ORDER BY tisch")));
    QList<int> tables;
    for (; !rs.eof(); rs.moveNext())
        tables << rs.value(QStringLiteral("tisch")).toInt();
    QCOMPARE(tables, (QList<int>{4, 7}));
    rs.moveNext(); // at the end already: stays there
    QVERIFY(rs.eof());
    rs.moveFirst();
    QCOMPARE(rs.currentRow(), 0);
}

void TestResultSet::setCurrentRowOutsideGoesToEnd_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("expected");
    QTest::newRow("first") << 0 << 0;
    QTest::newRow("last") << 3 << 3;
    QTest::newRow("one past") << 4 << -1;
    QTest::newRow("negative") << -1 << -1;
    QTest::newRow("far") << 1000 << -1;
}

void TestResultSet::setCurrentRowOutsideGoesToEnd() {
    QFETCH(int, row);
    QFETCH(int, expected);
    ResultSet rs;
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT * FROM ordisp ORDER BY id")));
    rs.setCurrentRow(row);
    QCOMPARE(rs.currentRow(), expected);
    QCOMPARE(rs.eof(), expected < 0);
}

void TestResultSet::find_data() {
    QTest::addColumn<QString>("criterion");
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("expectedId");
    QTest::newRow("number text") << "id =  17" << true << 17;
    QTest::newRow("no blanks") << "id=17" << true << 17;
    QTest::newRow("blanks around") << "  id  =  17  " << true << 17;
    QTest::newRow("negative") << "id = -3" << true << -3;
    QTest::newRow("blank after sign") << "id = - 3" << true << -3;
    QTest::newRow("upper case column") << "ID =  5" << true << 5;
    QTest::newRow("other column first match") << "status =  2" << true << 5;
    QTest::newRow("decimal equal") << "id = 20.0" << true << 20;
    QTest::newRow("missing id") << "id =  99" << false << 0;
    QTest::newRow("minus of a present id") << "id = -17" << false << 0;
    QTest::newRow("unknown column") << "nosuch =  1" << false << 0;
    QTest::newRow("malformed") << "id > 3" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("text value") << "id = abc" << false << 0;
}

void TestResultSet::find() {
    QFETCH(QString, criterion);
    QFETCH(bool, found);
    QFETCH(int, expectedId);
    ResultSet rs;
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT * FROM ordisp ORDER BY id")));
    QCOMPARE(rs.find(criterion), found);
    QCOMPARE(rs.eof(), !found);
    if (found)
        QCOMPARE(rs.value(QStringLiteral("id")).toInt(), expectedId);
}

void TestResultSet::findSearchesForwardOnly() {
    ResultSet rs;
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT * FROM ordisp ORDER BY id")));
    rs.setCurrentRow(2);
    QVERIFY(!rs.find(QStringLiteral("id =  5")));
    QVERIFY(rs.eof());
    rs.setCurrentRow(1);
    QVERIFY(rs.find(QStringLiteral("id =  5")));
    QCOMPARE(rs.currentRow(), 1);
    // From a match the next search for the same value stays on it.
    rs.setCurrentRow(2);
    QVERIFY(rs.find(QStringLiteral("status =  2")));
    QCOMPARE(rs.value(QStringLiteral("id")).toInt(), 20);
}

void TestResultSet::findFromEndFindsNothing() {
    ResultSet rs;
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT * FROM ordisp ORDER BY id")));
    rs.setCurrentRow(rs.rowCount());
    QVERIFY(!rs.find(QStringLiteral("id = -3")));
    QVERIFY(rs.eof());
}

void TestResultSet::requeryRunsTheStatementAgain() {
    ResultSet rs;
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT * FROM ordisp ORDER BY id")));
    rs.setCurrentRow(3);
    QVERIFY(m_db->exec(QStringLiteral("INSERT INTO ordisp (id, monitornr) VALUES (30, 1)")));
    QCOMPARE(rs.rowCount(), 4); // a copy: the database is not read again by itself
    DbError error;
    QVERIFY(rs.requery(&error));
    QCOMPARE(rs.rowCount(), 5);
    QCOMPARE(rs.currentRow(), 0);
    QVERIFY(!error.isSet());
}

void TestResultSet::failedRequeryKeepsRows() {
    ResultSet rs;
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT * FROM ordisp ORDER BY id")));
    rs.setCurrentRow(2);
    QVERIFY(m_db->exec(QStringLiteral("DROP TABLE ordisp")));
    DbError error;
    QVERIFY(!rs.requery(&error));
    QVERIFY(error.isSet());
    QCOMPARE(error.source, QStringLiteral("QSQLITE"));
    QCOMPARE(rs.rowCount(), 4);
    QCOMPARE(rs.currentRow(), 2);
}

void TestResultSet::closeForgetsEverything() {
    ResultSet rs;
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT * FROM ordisp")));
    rs.close();
    QVERIFY(!rs.isOpen());
    QVERIFY(rs.eof());
    QCOMPARE(rs.rowCount(), 0);
    DbError error;
    QVERIFY(!rs.requery(&error));
    QCOMPARE(error.number, -1);
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT * FROM ordisp")));
    QCOMPARE(rs.rowCount(), 4);
}

void TestResultSet::failedOpenReportsError() {
    ResultSet rs;
    DbError error;
    QVERIFY(!rs.open(*m_db, QStringLiteral("SELECT * FROM nosuchtable"), &error));
    QVERIFY(!rs.isOpen());
    QVERIFY(rs.eof());
    QCOMPARE(error.number, 1); // SQLITE_ERROR
    QVERIFY2(error.description.contains(QLatin1String("nosuchtable")), qPrintable(error.description));
    QCOMPARE(error.source, QStringLiteral("QSQLITE"));
}

void TestResultSet::missingColumnReadsInvalid() {
    ResultSet rs;
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT id FROM ordisp")));
    QVERIFY(!rs.value(QStringLiteral("nosuch")).isValid());
    QCOMPARE(rs.kind(QStringLiteral("nosuch")), ColumnKind::Other);
    QCOMPARE(rs.columnIndex(QStringLiteral("nosuch")), -1);
}

QTEST_GUILESS_MAIN(TestResultSet)
#include "tst_resultset.moc"
