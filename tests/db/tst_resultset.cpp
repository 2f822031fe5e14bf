#include "DbTestSupport.h"
#include "ResultSet.h"

#include <QProcess>
#include <QStandardPaths>
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
    void refreshKeepsRowsWhileNothingIsWritten();
    void refreshReadsAgain_data();
    void refreshReadsAgain();
    void refreshSeesAnotherProcessWrite();
    void failedRefreshKeepsRows();
    void refreshTakesOverRowsThatReadTheSame_data();
    void refreshTakesOverRowsThatReadTheSame();
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
    QTest::addColumn<QString>("column");
    QTest::addColumn<double>("number");
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("expectedId");
    QTest::newRow("id") << "id" << 17.0 << true << 17;
    QTest::newRow("negative") << "id" << -3.0 << true << -3;
    QTest::newRow("upper case column") << "ID" << 5.0 << true << 5;
    QTest::newRow("other column first match") << "status" << 2.0 << true << 5;
    QTest::newRow("missing id") << "id" << 99.0 << false << 0;
    QTest::newRow("minus of a present id") << "id" << -17.0 << false << 0;
    QTest::newRow("unknown column") << "nosuch" << 1.0 << false << 0;
}

void TestResultSet::find() {
    QFETCH(QString, column);
    QFETCH(double, number);
    QFETCH(bool, found);
    QFETCH(int, expectedId);
    ResultSet rs;
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT * FROM ordisp ORDER BY id")));
    QCOMPARE(rs.find(column, number), found);
    QCOMPARE(rs.eof(), !found);
    if (found)
        QCOMPARE(rs.value(QStringLiteral("id")).toInt(), expectedId);
}

void TestResultSet::findSearchesForwardOnly() {
    ResultSet rs;
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT * FROM ordisp ORDER BY id")));
    rs.setCurrentRow(2);
    QVERIFY(!rs.find(QStringLiteral("id"), 5));
    QVERIFY(rs.eof());
    rs.setCurrentRow(1);
    QVERIFY(rs.find(QStringLiteral("id"), 5));
    QCOMPARE(rs.currentRow(), 1);
    // From a match the next search for the same value stays on it.
    rs.setCurrentRow(2);
    QVERIFY(rs.find(QStringLiteral("status"), 2));
    QCOMPARE(rs.value(QStringLiteral("id")).toInt(), 20);
}

void TestResultSet::findFromEndFindsNothing() {
    ResultSet rs;
    QVERIFY(rs.open(*m_db, QStringLiteral("SELECT * FROM ordisp ORDER BY id")));
    rs.setCurrentRow(rs.rowCount());
    QVERIFY(!rs.find(QStringLiteral("id"), -3));
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

void TestResultSet::refreshKeepsRowsWhileNothingIsWritten() {
    const QString sql = QStringLiteral("SELECT * FROM ordisp ORDER BY id");
    ResultSet rs;
    QVERIFY(rs.refresh(*m_db, sql));
    QCOMPARE(rs.rowCount(), 4);
    const ResultRow* rows = rs.rows().constData();
    rs.setCurrentRow(3);
    DbError error{7, QStringLiteral("stale"), QString()};
    QVERIFY(rs.refresh(*m_db, sql, &error));
    QVERIFY(!error.isSet());
    QCOMPARE(rs.rows().constData(), rows); // kept, not read again
    QCOMPARE(rs.currentRow(), 0);
    // A copy refreshes the same way, as the main window refreshes a copy of its list.
    ResultSet copy = rs;
    QVERIFY(copy.refresh(*m_db, sql));
    QCOMPARE(copy.rows().constData(), rows);
}

void TestResultSet::refreshReadsAgain_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("rows"); // expected afterwards
    QTest::newRow("row written on this connection") << "this" << 5;
    QTest::newRow("row written on another connection") << "other" << 5;
    QTest::newRow("row deleted on another connection") << "other delete" << 3;
    QTest::newRow("another statement") << "statement" << 2;
    QTest::newRow("connection opened again") << "reopen" << 4;
    QTest::newRow("opened by open()") << "open" << 4;
}

void TestResultSet::refreshReadsAgain() {
    QFETCH(QString, how);
    QFETCH(int, rows);
    QString sql = QStringLiteral("SELECT * FROM ordisp ORDER BY id");
    ResultSet rs;
    if (how == QLatin1String("open"))
        QVERIFY(rs.open(*m_db, sql)); // no stamp: the first refresh reads
    else
        QVERIFY(rs.refresh(*m_db, sql));
    const ResultRow* before = rs.rows().constData();

    Database other(QStringLiteral("tst_resultset_other"));
    if (how == QLatin1String("this")) {
        QVERIFY(m_db->exec(QStringLiteral("INSERT INTO ordisp (id, monitornr) VALUES (30, 1)")));
    } else if (how.startsWith(QLatin1String("other"))) {
        QVERIFY(other.open(m_db->settings()));
        QVERIFY(other.exec(how == QLatin1String("other")
                               ? QStringLiteral("INSERT INTO ordisp (id, monitornr) VALUES (30, 1)")
                               : QStringLiteral("DELETE FROM ordisp WHERE id = 5")));
    } else if (how == QLatin1String("statement")) {
        sql = QStringLiteral("SELECT * FROM ordisp WHERE tisch = 7 ORDER BY id");
    } else if (how == QLatin1String("reopen")) {
        QVERIFY(m_db->reopen());
    }
    QVERIFY(rs.refresh(*m_db, sql));
    QVERIFY(rs.rows().constData() != before);
    QCOMPARE(rs.rowCount(), rows);
    QCOMPARE(rs.sql(), sql);
}

void TestResultSet::refreshSeesAnotherProcessWrite() {
    // The terminals write from their own processes.
    const QString sqlite = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (sqlite.isEmpty())
        QSKIP("the sqlite3 command-line tool is not installed");
    const QString sql = QStringLiteral("SELECT * FROM ordisp ORDER BY id");
    ResultSet rs;
    QVERIFY(rs.refresh(*m_db, sql));
    QCOMPARE(rs.rowCount(), 4);
    QProcess writer;
    writer.start(sqlite,
                 {m_db->settings().file, QStringLiteral("UPDATE ordisp SET status = 1 WHERE id = 20")});
    QVERIFY(writer.waitForFinished(10000));
    QCOMPARE(writer.exitCode(), 0);
    QVERIFY(rs.refresh(*m_db, sql));
    rs.setCurrentRow(3);
    QCOMPARE(rs.value(QStringLiteral("status")).toInt(), 1);
}

void TestResultSet::failedRefreshKeepsRows() {
    const QString sql = QStringLiteral("SELECT * FROM ordisp ORDER BY id");
    ResultSet rs;
    QVERIFY(rs.refresh(*m_db, sql));
    rs.setCurrentRow(2);
    // Dropped by this very connection, which changes no row: the refresh must still notice.
    QVERIFY(m_db->exec(QStringLiteral("DROP TABLE ordisp")));
    DbError error;
    QVERIFY(!rs.refresh(*m_db, sql, &error));
    QVERIFY(error.isSet());
    QCOMPARE(rs.rowCount(), 4);
    QCOMPARE(rs.currentRow(), 2);
    QCOMPARE(rs.sql(), sql);
}

void TestResultSet::refreshTakesOverRowsThatReadTheSame_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QList<int>>("madeAnew"); // ids whose row must be read anew, not taken over
    QTest::newRow("nothing of these lines") << "UPDATE system SET booltest = 1" << QList<int>{};
    QTest::newRow("status of one line") << "UPDATE ordisp SET status = 1 WHERE id = 5" << QList<int>{5};
    QTest::newRow("text of one line") << "UPDATE ordisp SET txt = 'e' WHERE id = 17" << QList<int>{17};
    QTest::newRow("time of one line")
        << "UPDATE ordisp SET insdate = '2024-05-10 12:01:00' WHERE id = 20" << QList<int>{20};
    QTest::newRow("time written as the same text")
        << "UPDATE ordisp SET insdate = '2024-05-10 12:00:00' WHERE id = 20" << QList<int>{};
    QTest::newRow("time without its seconds")
        << "UPDATE ordisp SET insdate = '2024-05-10 12:00' WHERE id = 20" << QList<int>{};
    // An INTEGER column stores the text '2' as the number 2.
    QTest::newRow("status written as text") << "UPDATE ordisp SET status = '2' WHERE id = 20" << QList<int>{};
    QTest::newRow("quantity the same number as a fraction")
        << "UPDATE ordisp SET menge = 1.0 WHERE id = 5" << QList<int>{};
    QTest::newRow("quantity a little more")
        << "UPDATE ordisp SET menge = 1.0000001 WHERE id = 5" << QList<int>{5};
    QTest::newRow("text set to null") << "UPDATE ordisp SET txt = NULL WHERE id = -3" << QList<int>{-3};
    QTest::newRow("text empty") << "UPDATE ordisp SET txt = '' WHERE id = -3" << QList<int>{-3};
    QTest::newRow("one line gone") << "DELETE FROM ordisp WHERE id = 5" << QList<int>{};
    QTest::newRow("one line added") << "INSERT INTO ordisp (id, monitornr, tisch, txt) VALUES (6, 1, 4, 'x')"
                                    << QList<int>{6};
}

void TestResultSet::refreshTakesOverRowsThatReadTheSame() {
    QFETCH(QString, change);
    QFETCH(QList<int>, madeAnew);
    QVERIFY(m_db->exec(QStringLiteral("CREATE TABLE system (booltest INTEGER)")));
    QVERIFY(m_db->exec(QStringLiteral("INSERT INTO system VALUES (0)")));
    QVERIFY(m_db->exec(QStringLiteral("UPDATE ordisp SET menge = 1, insdate = '2024-05-10 12:00:00'")));
    const QString sql = QStringLiteral("SELECT * FROM ordisp ORDER BY id");
    ResultSet rs;
    QVERIFY(rs.refresh(*m_db, sql));
    const ResultSet before = rs;
    QVERIFY(m_db->exec(change));
    QVERIFY(rs.refresh(*m_db, sql));

    ResultSet fresh; // what reading from scratch gives
    QVERIFY(fresh.open(*m_db, sql));
    QCOMPARE(rs.rowCount(), fresh.rowCount());
    const int id = rs.columnIndex(QStringLiteral("id"));
    for (int row = 0; row < rs.rowCount(); ++row) {
        const ResultRow& now = rs.rows().at(row);
        const ResultRow& expected = fresh.rows().at(row);
        for (int column = 0; column < expected.size(); ++column) {
            QCOMPARE(now.at(column).metaType(), expected.at(column).metaType());
            QCOMPARE(now.at(column).isNull(), expected.at(column).isNull());
            QCOMPARE(now.at(column), expected.at(column));
        }
        bool shared = false;
        for (const ResultRow& old : before.rows())
            shared = shared || old.constData() == now.constData();
        const int lineId = now.at(id).toInt();
        QVERIFY2(shared != madeAnew.contains(lineId), qPrintable(QStringLiteral("line %1").arg(lineId)));
    }
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
