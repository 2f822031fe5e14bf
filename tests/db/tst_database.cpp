#include "CellText.h"
#include "DbHelpers.h"
#include "OdbcConnectionString.h"
#include "OrderSql.h"
#include "SqliteConnection.h"
#include "SqliteSupport.h"
#include "TestDb.h"

#include <QtTest>

#include <sqlite3.h>

#include <optional>

using namespace ordisp;

// The database file alone: opening it, statements failing, what stored values read as; and the
// texts the display builds: statements, cells, connection strings.
class TestDatabase : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void openFile_data();
    void openFile();
    void exec_data();
    void exec();
    void queryReadAgain();
    void storedValues_data();
    void storedValues();
    void texts_data();
    void texts();
};

void TestDatabase::openFile_data() {
    QTest::addColumn<QString>("name");       // below a new temporary folder; empty: no path at all
    QTest::addColumn<QByteArray>("content"); // of that file; null: there is none
    QTest::addColumn<bool>("create");        // as the administrator's tool opens
    QTest::addColumn<int>("number");         // of the failure; 0: it opens
    QTest::addColumn<bool>("found");         // as the start-up looks for the file
    // clang-format off
    QTest::newRow("missing") << "ZALPOS.MDB" << QByteArray() << false << SQLITE_CANTOPEN << false;
    QTest::newRow("not SQLite") << "ZALPOS.MDB" << QByteArray("[ORDISP]\r\nLEFT=0\r\n") << true << SQLITE_NOTADB << true;
    QTest::newRow("none named") << "" << QByteArray() << true << -1 << false;
    QTest::newRow("folder missing, create") << "gone/ZALPOS.MDB" << QByteArray() << true << SQLITE_CANTOPEN << false;
    QTest::newRow("empty file") << "ZALPOS.MDB" << QByteArray("") << false << 0 << true;
    QTest::newRow("hidden, created") << ".ZALPOS.MDB" << QByteArray() << true << 0 << false;
    QTest::newRow("percent") << "a%41b/ZALPOS.MDB" << QByteArray() << true << 0 << true;
    QTest::newRow("question mark") << "a?mode=rwc/ZALPOS.MDB" << QByteArray() << true << 0 << true;
    QTest::newRow("hash") << "a#b/ZALPOS.MDB" << QByteArray() << true << 0 << true;
    QTest::newRow("blank and umlaut") << "Küche 1/ZALPOS.MDB" << QByteArray() << true << 0 << true;
    // clang-format on
}

void TestDatabase::openFile() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, create);
    QFETCH(int, number);
    QFETCH(bool, found);
    const auto bytes = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QTemporaryDir dir;
    const QString path = name.isEmpty() ? QString() : dir.filePath(name);
    QVERIFY(name.startsWith(QLatin1String("gone/")) || QFileInfo(path).dir().mkpath(QStringLiteral(".")));
    QFile file(path);
    QVERIFY(content.isNull() || (file.open(QIODevice::WriteOnly) && file.write(content) == content.size()));
    file.close();
    Database db(QStringLiteral("tst_database"));
    DbError error;
    QCOMPARE(db.open(ConnectionSettings{kDbTypeJet, {}, {}, {}, path, create}, &error), number == 0);
    QCOMPARE(error.number, number);
    QVERIFY2(number == 0 || error.description.contains(path), qPrintable(error.description));
    const QByteArray now = bytes(path);
    QVERIFY(create && number == 0 ? now.startsWith("SQLite format 3") : now == content);
    QCOMPARE(FileExists(path), found);
    // Creating an existing database leaves it as it is.
    QVERIFY(number != 0 || (SqliteConnection::createFile(path) && bytes(path) == now));
}

void TestDatabase::exec_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("locked"); // by a terminal for half a second
    QTest::addColumn<int>("number");  // 0: it runs
    QTest::addColumn<QStringList>("writes");
    // clang-format off
    QTest::newRow("key taken") << "INSERT INTO ordisp (id) VALUES (1)" << false << SQLITE_CONSTRAINT_PRIMARYKEY << QStringList();
    QTest::newRow("text glued on") << "UPDATE ordisp SET status = 1; DELETE FROM ordisp" << false << -1 << QStringList();
    QTest::newRow("closing semicolon") << "UPDATE ordisp SET status = 1;  " << false << 0 << QStringList{"UPDATE ordisp id=1 status 0->1"};
    QTest::newRow("waits for a terminal") << "UPDATE system SET booltest = 1" << true << 0 << QStringList{"UPDATE system"};
    // clang-format on
}

void TestDatabase::exec() {
    QFETCH(QString, sql);
    QFETCH(bool, locked);
    QFETCH(int, number);
    QFETCH(QStringList, writes);
    TestDb file;
    QCOMPARE(file.addOrder({}), 1);
    file.clearWrites();
    Database db(QStringLiteral("tst_database"));
    QVERIFY(db.open(file.settings()));
    std::optional<FileLock> terminal;
    if (locked)
        terminal.emplace(file.path()).releaseAfter(std::chrono::milliseconds(500));
    qint32 reported = 99;
    QString text = QStringLiteral("alt");
    QCOMPARE(ExecSql(db, sql, &reported, &text), number == 0);
    QCOMPARE(reported, number);
    QCOMPARE(text.isEmpty(), number == 0);
    QCOMPARE(file.writes(), writes);
}

// A query kept prepared reads the table as it is at each run: a text another station rewrote, also
// when its bytes taken one by one spell the text shown before (mojibake mended), and a column added.
void TestDatabase::queryReadAgain() {
    TestDb file;
    TestDb::Order line;
    line.txt = QStringLiteral("Ã¼");
    QCOMPARE(file.addOrder(line), 1);
    Database db(QStringLiteral("tst_database"));
    QVERIFY(db.open(file.settings()));
    ResultSet rs;
    const QString sql = QStringLiteral("SELECT * FROM ordisp");
    QVERIFY(rs.refresh(db, sql) && file.exec(QStringLiteral("UPDATE ordisp SET txt = 'ü'")));
    QVERIFY(rs.refresh(db, sql));
    QCOMPARE(rs.value(QStringLiteral("txt")), QVariant(QStringLiteral("ü")));
    const qsizetype columns = rs.columns().size();
    QVERIFY(db.exec(QStringLiteral("ALTER TABLE ordisp ADD COLUMN extra INTEGER DEFAULT 7")));
    QVERIFY(rs.refresh(db, sql));
    QCOMPARE(rs.columns().size(), columns + 1);
    QCOMPARE(rs.value(QStringLiteral("extra")), QVariant(7LL));
}

void TestDatabase::storedValues_data() {
    QTest::addColumn<QString>("declared"); // the type of ordisp.insdate
    QTest::addColumn<QVariant>("stored");  // in a done line
    QTest::addColumn<QVariant>("read");    // by a query
    QTest::addColumn<QVariant>("field");   // as FieldValue hands it on
    QTest::addColumn<bool>("purged");      // by the purge of done lines on 6 December 2026
    // clang-format off
    const auto time = [](int day, int hour) { return QVariant(QDateTime(QDate(2026, 12, day), QTime(hour, 0))); };
    const auto unix = [&](int day, int hour) { return QVariant(time(day, hour).toDateTime().toSecsSinceEpoch()); };
    const QVariant julian(unix(5, 12).toLongLong() / 86400.0 + 2440587.5);
    const QVariant null(QMetaType::fromType<QString>());
    QTest::newRow("text null") << "VARCHAR(255)" << null << null << QVariant("") << false;
    QTest::newRow("spaces trimmed") << "nvarchar(40)" << QVariant(" Wiener  Schnitzel\t ") << QVariant(" Wiener  Schnitzel\t ") << QVariant("Wiener  Schnitzel\t") << false;
    QTest::newRow("bit null") << "BIT" << null << QVariant(QMetaType::fromType<bool>()) << QVariant(false) << false;
    QTest::newRow("time null") << "DATETIME" << null << QVariant(QMetaType::fromType<QDateTime>()) << QVariant(QDateTime(QDate(1900, 1, 1), QTime(0, 0))) << false;
    QTest::newRow("no type, null") << "" << null << QVariant() << QVariant::fromValue<qint16>(0) << false;
    QTest::newRow("done yesterday") << "TIMESTAMP(3)" << QVariant("2026-12-05 23:00:00") << time(5, 23) << time(5, 23) << true;
    QTest::newRow("blanks around") << "DATETIME" << QVariant(" 2026-12-05 23:00 ") << time(5, 23) << time(5, 23) << true;
    QTest::newRow("hour 24") << "DATETIME" << QVariant("2026-12-05 24:00:00") << QVariant("2026-12-05 24:00:00") << QVariant("2026-12-05 24:00:00") << false;
    QTest::newRow("done at midnight, with T") << "DATE" << QVariant("2026-12-06T00:00:00") << time(6, 0) << time(6, 0) << false;
    QTest::newRow("date only") << "DATETIME" << QVariant("2026-12-05") << time(5, 0) << time(5, 0) << true;
    QTest::newRow("Unix seconds yesterday") << "DATETIME" << unix(5, 23) << time(5, 23) << time(5, 23) << true;
    QTest::newRow("Unix seconds today") << "DATETIME" << unix(6, 1) << time(6, 1) << time(6, 1) << false;
    QTest::newRow("Julian day") << "DATETIME" << julian << time(5, 12) << time(5, 12) << true;
    QTest::newRow("Windows date number") << "DATETIME" << QVariant(46361.5) << time(5, 12) << time(5, 12) << true;
    QTest::newRow("day first") << "DATETIME" << QVariant("05.12.2026 12:00") << QVariant("05.12.2026 12:00") << QVariant("05.12.2026 12:00") << true;
    QTest::newRow("no time") << "DATETIME" << QVariant("31.02.2026") << QVariant("31.02.2026") << QVariant("31.02.2026") << false;
    QTest::newRow("number beyond any date") << "DATETIME" << QVariant(1e300) << QVariant(1e300) << QVariant(1e300) << false;
    QTest::newRow("bytes") << "BLOB" << QVariant(QByteArray("\x00\xff", 2)) << QVariant(QByteArray("\x00\xff", 2)) << QVariant(QByteArray("\x00\xff", 2)) << false;
    // clang-format on
}

void TestDatabase::storedValues() {
    QFETCH(QString, declared);
    QFETCH(QVariant, stored);
    QFETCH(QVariant, read);
    QFETCH(QVariant, field);
    QFETCH(bool, purged);
    TestDb file(
        QStringLiteral("CREATE TABLE ordisp (id INTEGER PRIMARY KEY, monitornr, tisch, gang, gast, menge, "
                       "txt, status, insdate %1)")
            .arg(declared));
    TestDb::Order line;
    line.status = StatusDone;
    line.insdate = stored;
    QVERIFY2(file.addOrder(line) > 0, qPrintable(file.errorText()));
    Database db(QStringLiteral("tst_database"));
    QVERIFY(db.open(file.settings()));
    ResultSet rs;
    QVERIFY(rs.open(db, QStringLiteral("SELECT insdate FROM ordisp")));
    const QVariant value = rs.value(QStringLiteral("insdate"));
    QCOMPARE(value.metaType(), read.metaType());
    QCOMPARE(value.isNull(), read.isNull());
    QCOMPARE(value, read);
    QCOMPARE(FieldValue(rs, QStringLiteral("INSDATE")).metaType(), field.metaType());
    QCOMPARE(FieldValue(rs, QStringLiteral("INSDATE")), field);
    QVERIFY(!FieldValue(rs, QStringLiteral("nosuch")).isValid()); // the caller's fault: nothing to read
    const QString today = SqlDate(QDate(2026, 12, 6), QStringLiteral("00:00:00"), kDbTypeJet, QString());
    QVERIFY(db.exec(OrderSql::purgeDoneOrders(today)));
    QCOMPARE(file.scalar(QStringLiteral("SELECT count(*) FROM ordisp")).toInt(), purged ? 0 : 1);
}

// What the display builds from values: statements (blanks included; what they do: tst_ordersql),
// the grid's cells, the server's connection string.
void TestDatabase::texts_data() {
    QTest::addColumn<QVariant>("text");
    QTest::addColumn<QVariant>("expected");
    const QString d18 = QStringLiteral("ODBC Driver 18 for SQL Server");
    // clang-format off
    QTest::newRow("purge") << QVariant(OrderSql::purgeDoneOrders(SqlDate(QDate(2000, 12, 31), "00:00:00", kDbTypeJet, "D"))) << QVariant("DELETE FROM ordisp WHERE status = 2 AND insdate < #12/31/2000 00:00:00#");
    QTest::newRow("tables") << QVariant(OrderSql::tableList(3)) << QVariant("SELECT tisch FROM ordisp WHERE monitornr =  3 GROUP BY tisch ORDER BY tisch");
    QTest::newRow("list") << QVariant(OrderSql::orderList(0, QString(), kSortStatusInsdate)) << QVariant("SELECT * FROM ordisp WHERE monitornr =  0  ORDER BY status, insdate");
    QTest::newRow("list of a table") << QVariant(OrderSql::orderList(-2, OrderSql::tableFilter(-1), kSortTischGangStatus)) << QVariant("SELECT * FROM ordisp WHERE monitornr = -2  AND tisch = -1 ORDER BY tisch, gang, status");
    QTest::newRow("in progress") << QVariant(OrderSql::setStatus(StatusInProgress, 17)) << QVariant("UPDATE ordisp SET status = 1 WHERE id =  17");
    QTest::newRow("done") << QVariant(OrderSql::setStatus(StatusDone, -4)) << QVariant("UPDATE ordisp SET status = 2 WHERE id = -4");
    QTest::newRow("delete") << QVariant(OrderSql::deleteOrder(0)) << QVariant("DELETE FROM ordisp WHERE id =  0");
    QTest::newRow("course") << QVariant(OrderSql::courseList(1, 12, 3)) << QVariant("SELECT gast as gnr, * FROM ordisp WHERE monitornr =  1 AND tisch =  12 AND gang =  3 ORDER BY gast");
    QTest::newRow("file date") << QVariant(SqlDate(QDate(2026, 3, 5), QString(), kDbTypeJet, QString())) << QVariant("#03/05/2026 #");
    QTest::newRow("server date, day first") << QVariant(SqlDate(QDate(2000, 12, 31), "00:00:00", kDbTypeSql, "D")) << QVariant("'31.12.2000 00:00:00'");
    QTest::newRow("server date") << QVariant(SqlDate(QDate(999, 1, 2), "7:5", kDbTypeSql, "E")) << QVariant("'0999-01-02 7:5'");
    QTest::newRow("file dates on SQLite") << QVariant(translateJetSql("#1/5/2026 7:05# #02/30/2026# '#1/5/2026#'", false)) << QVariant("'2026-01-05 07:05:00' #02/30/2026# '#1/5/2026#'");
    QTest::newRow("stored times compared") << QVariant(translateJetSql("WHERE (o.t>=#1/5/2026#) OR #1/5/2026# < x OR a + x < #1/5/2026#", true)) << QVariant("WHERE (ordisp_time(o.t)>='2026-01-05 00:00:00') OR '2026-01-05 00:00:00' < x OR a + x < '2026-01-05 00:00:00'");
    QTest::newRow("status 0") << StatusText(0) << QVariant("NEU");
    QTest::newRow("status 1") << StatusText(QVariant::fromValue<qint16>(1)) << QVariant("i.A.");
    QTest::newRow("status 2.0") << StatusText(2.0) << QVariant("OK");
    QTest::newRow("status 3 as it is") << StatusText(qlonglong(3)) << QVariant(qlonglong(3));
    QTest::newRow("status 1.5 as it is") << StatusText(1.5) << QVariant(1.5);
    QTest::newRow("status text as it is") << StatusText("1") << QVariant("1");
    QTest::newRow("status null as it is") << StatusText(QVariant()) << QVariant();
    QTest::newRow("time") << TimeText(QDateTime(QDate(2026, 12, 6), QTime(7, 5, 59))) << QVariant("07:05");
    QTest::newRow("time of day") << TimeText(QTime(23, 59, 1)) << QVariant("23:59");
    QTest::newRow("time of a date") << TimeText(QDate(2026, 12, 6)) << QVariant("00:00");
    QTest::newRow("time of ISO text") << TimeText("2026-12-06T18:31:02.250") << QVariant("18:31");
    QTest::newRow("time of month first text") << TimeText("5/10/2024 21:40:00") << QVariant("21:40");
    QTest::newRow("time of a Windows date number") << TimeText(45000.5) << QVariant("12:00");
    QTest::newRow("time of no date") << TimeText("2026-02-30 10:00:00") << QVariant("");
    QTest::newRow("time null") << TimeText(QVariant(QMetaType::fromType<QDateTime>())) << QVariant("");
    QTest::newRow("server, no password") << QVariant(odbc::connectionString({kDbTypeSql, "Kasse,1", "sa", "", {}, false}, false, d18)) << QVariant("DRIVER={ODBC Driver 18 for SQL Server};SERVER={Kasse,1};DATABASE=zalpos;UID=sa");
    QTest::newRow("data source, braces") << QVariant(odbc::connectionString({kDbTypeSql, "Kasse,1", " {a}b", "a;b", {}, false}, true, d18)) << QVariant("Kasse,1;DATABASE=zalpos;UID={ {a}}b};PWD={a;b}");
    QTest::newRow("data source name, blanks") << QVariant(odbc::isValidDsnName("  ")) << QVariant(false);
    QTest::newRow("no data source, instance") << QVariant(odbc::isKnownDataSource("kasse\\SQLEXPRESS")) << QVariant(false);
    QTest::newRow("no data source") << QVariant(odbc::isKnownDataSource("OrdispNirgends")) << QVariant(false);
    // clang-format on
}

void TestDatabase::texts() {
    QFETCH(QVariant, text);
    QFETCH(QVariant, expected);
    QCOMPARE(text.metaType(), expected.metaType());
    QCOMPARE(text, expected);
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
