#include "Database.h"
#include "DbHelpers.h"
#include "DbTestSupport.h"
#include "OdbcConnectionString.h"
#include "OrderSql.h"
#include "SqliteConnection.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>

#include <sqlite3.h>

#include <thread>

using namespace ordisp;

class TestDatabase : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void openMissingFileFailsAndCreatesNothing();
    void openRejectsFilesThatAreNotSqlite_data();
    void openRejectsFilesThatAreNotSqlite();
    void openEmptyFileWritesNothing();
    void createFileSetting();
    void createSqliteFileLeavesExistingFiles();
    void sqliteUri_data();
    void sqliteUri();
    void pathsWithUriCharactersOpen_data();
    void pathsWithUriCharactersOpen();
    void busyTimeoutIsTenSeconds();
    void waitsForAnotherWriter();
    void execErrorNumbers_data();
    void execErrorNumbers();
    void onlyOneStatementPerCall();
    void closedConnectionFails();
    void reopenKeepsDialectValues();
    void selectReadsDeclaredKinds();
    void selectReadsStoredTimes_data();
    void selectReadsStoredTimes();
    void jetLiteralsRunOnTheFile();
    void purgeComparesStoredTimes();

    void odbcEscape_data();
    void odbcEscape();
    void odbcConnectionString_data();
    void odbcConnectionString();
    void isValidDsnName_data();
    void isValidDsnName();
    void knownDataSourceFromDriverManager();
    void unknownServerFailsCleanly_data();
    void unknownServerFailsCleanly();
    void silentServerTimesOut();
};

namespace {

ConnectionSettings jet(const QString& file) {
    ConnectionSettings s;
    s.type = kDbTypeJet;
    s.file = file;
    return s;
}

// A second, independent connection, as a terminal would hold.
struct RawConnection {
    sqlite3* handle = nullptr;
    explicit RawConnection(const QString& path) { sqlite3_open(path.toUtf8().constData(), &handle); }
    ~RawConnection() { sqlite3_close(handle); }
    int exec(const char* sql) { return sqlite3_exec(handle, sql, nullptr, nullptr, nullptr); }
};

} // namespace

void TestDatabase::openMissingFileFailsAndCreatesNothing() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ZALPOS.MDB"));
    Database db(QStringLiteral("tst_database"));
    DbError error;
    QVERIFY(!db.open(jet(path), &error));
    QVERIFY(!db.isOpen());
    QCOMPARE(error.number, SQLITE_CANTOPEN);
    QCOMPARE(error.source, QStringLiteral("QSQLITE"));
    QVERIFY2(error.description.contains(path), qPrintable(error.description));
    QVERIFY(!QFile::exists(path));
    QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
}

void TestDatabase::openRejectsFilesThatAreNotSqlite_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("text") << QByteArray("[ORDISP]\r\nLEFT=0\r\n");
    QTest::newRow("one byte") << QByteArray("x");
    QByteArray jetFile(4096, '\0');
    jetFile.replace(0, 19, QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20).left(19));
    QTest::newRow("jet header") << jetFile;
    QByteArray noise;
    for (int i = 0; i < 3000; ++i)
        noise.append(char((i * 7919) % 251));
    QTest::newRow("binary noise") << noise;
}

void TestDatabase::openRejectsFilesThatAreNotSqlite() {
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ZALPOS.MDB"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    Database db(QStringLiteral("tst_database"));
    DbError error;
    QVERIFY(!db.open(jet(path), &error));
    QVERIFY(!db.isOpen());
    QCOMPARE(error.number, SQLITE_NOTADB);
    QCOMPARE(error.source, QStringLiteral("QSQLITE"));
    QVERIFY2(error.description.contains(QLatin1String("keine SQLite-Datenbank")),
             qPrintable(error.description));
    QVERIFY2(error.description.contains(path), qPrintable(error.description));
    QCOMPARE(test::fileBytes(path), content);
    QVERIFY(!db.exec(QStringLiteral("CREATE TABLE t (x)")));
}

void TestDatabase::openEmptyFileWritesNothing() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ZALPOS.MDB"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    Database db(QStringLiteral("tst_database"));
    DbError error;
    QVERIFY2(db.open(jet(path), &error), qPrintable(error.description));
    ResultData data;
    QVERIFY(!db.select(QStringLiteral("SELECT * FROM ordisp"), &data, &error));
    QVERIFY2(error.description.contains(QLatin1String("no such table")), qPrintable(error.description));
    QVERIFY(!db.exec(QStringLiteral("UPDATE system SET moddate = '31.12.2000'"), &error));
    db.close();
    QCOMPARE(QFileInfo(path).size(), 0);
}

void TestDatabase::createFileSetting() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("new/ZALPOS.MDB"));
    ConnectionSettings settings = jet(path);
    settings.createFile = true;
    Database db(QStringLiteral("tst_database"));
    DbError error;
    QVERIFY(!db.open(settings, &error)); // the folder is missing: nothing is made up
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("new")));
    QVERIFY2(db.open(settings, &error), qPrintable(error.description));
    QVERIFY(db.exec(QStringLiteral("CREATE TABLE t (x)")));
    db.close();
    QVERIFY(test::fileBytes(path).startsWith("SQLite format 3"));
}

void TestDatabase::createSqliteFileLeavesExistingFiles() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ZALPOS.MDB"));
    DbError error;
    QVERIFY(SqliteConnection::createFile(path, &error));
    QVERIFY(test::fileBytes(path).startsWith("SQLite format 3"));
    {
        Database db(QStringLiteral("tst_database"));
        QVERIFY(db.open(jet(path)));
        QVERIFY(db.exec(QStringLiteral("CREATE TABLE kept (x)")));
        QVERIFY(db.exec(QStringLiteral("INSERT INTO kept VALUES (1)")));
    }
    const QByteArray before = test::fileBytes(path);
    QVERIFY(SqliteConnection::createFile(path, &error));
    QCOMPARE(test::fileBytes(path), before);

    const QString text = dir.filePath(QStringLiteral("notes.txt"));
    {
        QFile file(text);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a database at all\n");
    }
    QVERIFY(!SqliteConnection::createFile(text, &error));
    QCOMPARE(error.number, SQLITE_NOTADB);
    QCOMPARE(test::fileBytes(text), QByteArray("not a database at all\n"));
    QVERIFY(!SqliteConnection::createFile(QString(), &error));
}

void TestDatabase::sqliteUri_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("uri");
    QTest::newRow("absolute") << "/srv/kasse/ZALPOS.MDB"
                              << "file:///srv/kasse/ZALPOS.MDB?mode=rw";
    QTest::newRow("relative") << "daten/ZALPOS.MDB"
                              << "file:daten/ZALPOS.MDB?mode=rw";
    QTest::newRow("percent") << "/a%20b/ZALPOS.MDB"
                             << "file:///a%2520b/ZALPOS.MDB?mode=rw";
    QTest::newRow("question mark") << "/a?mode=rwc/ZALPOS.MDB"
                                   << "file:///a%3fmode=rwc/ZALPOS.MDB?mode=rw";
    QTest::newRow("hash") << "/a#b/ZALPOS.MDB"
                          << "file:///a%23b/ZALPOS.MDB?mode=rw";
    QTest::newRow("double slash") << "//host/ZALPOS.MDB"
                                  << "file:////host/ZALPOS.MDB?mode=rw";
    QTest::newRow("blank and umlaut") << "/Küche 1/ZALPOS.MDB"
                                      << "file:///Küche 1/ZALPOS.MDB?mode=rw";
}

void TestDatabase::sqliteUri() {
    QFETCH(QString, path);
    QFETCH(QString, uri);
    QCOMPARE(SqliteConnection::uri(path), uri);
}

void TestDatabase::pathsWithUriCharactersOpen_data() {
    QTest::addColumn<QString>("folder");
    QTest::newRow("percent") << "a%41b";
    QTest::newRow("question mark") << "a?mode=rwc";
    QTest::newRow("hash") << "a#b";
    QTest::newRow("blank umlaut") << "Küche 1";
}

void TestDatabase::pathsWithUriCharactersOpen() {
    QFETCH(QString, folder);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(folder));
    const QString path = dir.filePath(folder + QStringLiteral("/ZALPOS.MDB"));
    Database db(QStringLiteral("tst_database"));
    DbError error;
    QVERIFY(!db.open(jet(path), &error)); // still never created
    QVERIFY(QDir(dir.filePath(folder)).isEmpty());
    QVERIFY(SqliteConnection::createFile(path, &error));
    QVERIFY2(db.open(jet(path), &error), qPrintable(error.description));
    QVERIFY(db.exec(QStringLiteral("CREATE TABLE t (x)")));
    db.close();
    QCOMPARE(QDir(dir.filePath(folder)).entryList(QDir::Files), QStringList{QStringLiteral("ZALPOS.MDB")});
}

void TestDatabase::busyTimeoutIsTenSeconds() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_database"));
    QVERIFY(test::openScratchDatabase(db, dir, {}));
    ResultData data;
    QVERIFY(db.select(QStringLiteral("PRAGMA busy_timeout"), &data));
    QCOMPARE(data.rows.value(0).value(0).toInt(), 10000);
}

void TestDatabase::waitsForAnotherWriter() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_database"));
    QVERIFY(test::openScratchDatabase(db, dir,
                                      {QStringLiteral("CREATE TABLE system (moddate DATETIME)"),
                                       QStringLiteral("INSERT INTO system VALUES (NULL)")}));
    RawConnection terminal(dir.filePath(QStringLiteral("ZALPOS.MDB")));
    QCOMPARE(terminal.exec("BEGIN EXCLUSIVE"), SQLITE_OK);
    std::thread release([&terminal] {
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        terminal.exec("COMMIT");
    });
    QElapsedTimer timer;
    timer.start();
    DbError error;
    const bool ok = db.exec(QStringLiteral("UPDATE system SET moddate = '2000-12-31 00:00:00'"), &error);
    const qint64 waited = timer.elapsed();
    release.join();
    QVERIFY2(ok, qPrintable(error.description));
    QVERIFY2(waited >= 400, qPrintable(QString::number(waited)));
}

void TestDatabase::execErrorNumbers_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<int>("number");
    QTest::newRow("syntax") << "UPDATE ordisp SET WHERE" << SQLITE_ERROR;
    QTest::newRow("no such table") << "DELETE FROM nosuch" << SQLITE_ERROR;
    QTest::newRow("unique") << "INSERT INTO ordisp (id, txt) VALUES (1, 'x')" << SQLITE_CONSTRAINT_PRIMARYKEY;
    QTest::newRow("not null") << "INSERT INTO strict (x) VALUES (NULL)" << SQLITE_CONSTRAINT_NOTNULL;
    QTest::newRow("check") << "INSERT INTO strict (x) VALUES (-1)" << SQLITE_CONSTRAINT_CHECK;
}

void TestDatabase::execErrorNumbers() {
    QFETCH(QString, sql);
    QFETCH(int, number);
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_database"));
    QVERIFY(test::openScratchDatabase(
        db, dir,
        {test::orderTableDdl(), QStringLiteral("INSERT INTO ordisp (id) VALUES (1)"),
         QStringLiteral("CREATE TABLE strict (x INTEGER NOT NULL CHECK (x >= 0))")}));
    DbError error;
    QVERIFY(!db.exec(sql, &error));
    QCOMPARE(error.number, number);
    QCOMPARE(error.source, QStringLiteral("QSQLITE"));
    QVERIFY(!error.description.isEmpty());
    QVERIFY(db.exec(QStringLiteral("UPDATE ordisp SET status = 1 WHERE id =  1"), &error));
    QVERIFY(!error.isSet());
}

void TestDatabase::onlyOneStatementPerCall() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_database"));
    QVERIFY(test::openScratchDatabase(
        db, dir, {test::orderTableDdl(), QStringLiteral("INSERT INTO ordisp (id) VALUES (1)")}));
    DbError error;
    QVERIFY(!db.exec(QStringLiteral("UPDATE ordisp SET status = 1; DELETE FROM ordisp"), &error));
    QCOMPARE(error.number, -1);
    ResultData data;
    QVERIFY(db.select(QStringLiteral("SELECT id, status FROM ordisp"), &data));
    QCOMPARE(data.rows.size(), 1);
    QVERIFY(data.rows.first().at(1).isNull()); // the first statement did not run either
    QVERIFY(
        db.exec(QStringLiteral("UPDATE ordisp SET status = 1;  "), &error)); // a closing semicolon is fine
}

void TestDatabase::closedConnectionFails() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_database"));
    QVERIFY(test::openScratchDatabase(db, dir, {test::orderTableDdl()}));
    db.close();
    QVERIFY(!db.isOpen());
    DbError error;
    QVERIFY(!db.exec(QStringLiteral("DELETE FROM ordisp"), &error));
    QCOMPARE(error.number, -1);
    QCOMPARE(error.source, QStringLiteral("QSQLITE"));
    ResultData data;
    QVERIFY(!db.select(QStringLiteral("SELECT * FROM ordisp"), &data, &error));
    QCOMPARE(error.number, -1);
}

void TestDatabase::reopenKeepsDialectValues() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_database"));
    QVERIFY(test::openScratchDatabase(
        db, dir, {test::orderTableDdl(), QStringLiteral("INSERT INTO ordisp (id) VALUES (1)")}));
    db.setDateLiteralStyle(QStringLiteral("D"));
    db.setTrueValue(-1);
    QVERIFY(db.reopen());
    QVERIFY(db.isOpen());
    QCOMPARE(db.dateLiteralStyle(), QStringLiteral("D"));
    QCOMPARE(db.trueValue(), qint16(-1));
    QCOMPARE(db.type(), kDbTypeJet);
    QCOMPARE(db.dbmsName(), QStringLiteral("SQLite"));
    ResultData data;
    QVERIFY(db.select(QStringLiteral("SELECT * FROM ordisp"), &data));
    QCOMPARE(data.rows.size(), 1);
}

void TestDatabase::selectReadsDeclaredKinds() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_database"));
    QVERIFY(test::openScratchDatabase(
        db, dir,
        {test::orderTableDdl(),
         QStringLiteral("INSERT INTO ordisp VALUES (7, 1, 12, 3, 2, 1.5, 'Suppe', NULL, "
                        "'2026-12-06 18:30:00')")}));
    ResultData data;
    QVERIFY(db.select(OrderSql::courseList(1, 12, 3), &data));
    QCOMPARE(data.columns.size(), 10);
    QCOMPARE(data.columns.at(0).name, QStringLiteral("gnr"));
    QCOMPARE(data.columns.at(0).kind, ColumnKind::Other);
    QCOMPARE(data.columns.at(7).name, QStringLiteral("txt"));
    QCOMPARE(data.columns.at(7).kind, ColumnKind::Character);
    QCOMPARE(data.columns.at(9).kind, ColumnKind::Date);
    const ResultRow& row = data.rows.first();
    QCOMPARE(row.at(0), QVariant(qlonglong(2)));
    QCOMPARE(row.at(6), QVariant(1.5));
    QCOMPARE(row.at(7), QVariant(QStringLiteral("Suppe")));
    QVERIFY(row.at(8).isNull());
    QCOMPARE(row.at(9), QVariant(QDateTime(QDate(2026, 12, 6), QTime(18, 30))));
}

void TestDatabase::selectReadsStoredTimes_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QVariant>("expected");
    const QDateTime evening(QDate(2026, 12, 6), QTime(18, 30));
    const qint64 unix = evening.toSecsSinceEpoch();
    QTest::newRow("iso text") << "'2026-12-06 18:30:00'" << QVariant(evening);
    QTest::newRow("iso with T") << "'2026-12-06T18:30:00'" << QVariant(evening);
    QTest::newRow("unix seconds") << QString::number(unix) << QVariant(evening);
    QTest::newRow("julian day") << QString::number(unix / 86400.0 + 2440587.5, 'f', 10) << QVariant(evening);
    QTest::newRow("not a date stays text") << "'gestern'" << QVariant(QStringLiteral("gestern"));
    QTest::newRow("null") << "NULL" << QVariant(QMetaType::fromType<QDateTime>());
}

void TestDatabase::selectReadsStoredTimes() {
    QFETCH(QString, stored);
    QFETCH(QVariant, expected);
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_database"));
    QVERIFY(test::openScratchDatabase(db, dir,
                                      {QStringLiteral("CREATE TABLE t (insdate DATETIME)"),
                                       QStringLiteral("INSERT INTO t VALUES (%1)").arg(stored)}));
    ResultData data;
    QVERIFY(db.select(QStringLiteral("SELECT insdate FROM t"), &data));
    const QVariant value = data.rows.first().first();
    QCOMPARE(value.metaType(), expected.metaType());
    QCOMPARE(value.isNull(), expected.isNull());
    if (value.metaType() == QMetaType::fromType<QDateTime>() && !value.isNull())
        QCOMPARE(value.toDateTime(), expected.toDateTime()); // to the second
    else
        QCOMPARE(value, expected);
}

void TestDatabase::jetLiteralsRunOnTheFile() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_database"));
    QVERIFY(test::openScratchDatabase(
        db, dir,
        {QStringLiteral("CREATE TABLE system (moddate DATETIME, booltest SMALLINT)"),
         QStringLiteral("INSERT INTO system VALUES (NULL, 0)")}));
    QVERIFY(db.exec(QStringLiteral("UPDATE system SET moddate = #12/31/2000 00:00:00#")));
    ResultData data;
    QVERIFY(
        db.select(QStringLiteral("SELECT count(*) AS n FROM system WHERE moddate = #12/31/2000#"), &data));
    QCOMPARE(data.rows.first().first().toInt(), 1);
    QVERIFY(db.select(QStringLiteral("SELECT moddate FROM system"), &data));
    QCOMPARE(data.rows.first().first(), QVariant(QDateTime(QDate(2000, 12, 31), QTime(0, 0))));
}

void TestDatabase::purgeComparesStoredTimes() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_database"));
    const QDate today(2026, 12, 6);
    const auto unix = [](const QDate& d, const QTime& t) { return QDateTime(d, t).toSecsSinceEpoch(); };
    const auto julian = [&](const QDate& d, const QTime& t) {
        return QString::number(unix(d, t) / 86400.0 + 2440587.5, 'f', 10);
    };
    const QDate yesterday = today.addDays(-1);
    const QStringList rows = {
        QStringLiteral("(1, 2, '2026-12-05 23:59:59')"),                   // purged
        QStringLiteral("(2, 2, '2026-12-06 00:00:00')"),                   // kept
        QStringLiteral("(3, 2, '2026-12-06 00:01:00')"),                   // kept
        QStringLiteral("(4, 2, %1)").arg(unix(today, QTime(0, 1))),        // kept
        QStringLiteral("(5, 2, %1)").arg(unix(yesterday, QTime(23, 59))),  // purged
        QStringLiteral("(6, 2, %1)").arg(julian(today, QTime(12, 0))),     // kept
        QStringLiteral("(7, 2, %1)").arg(julian(yesterday, QTime(12, 0))), // purged
        QStringLiteral("(8, 2, NULL)"),                                    // kept
        QStringLiteral("(9, 1, '2020-01-01 10:00:00')"),                   // kept
        QStringLiteral("(10, 0, %1)").arg(unix(yesterday, QTime(1, 0))),   // kept
        QStringLiteral("(11, 2, '2026-12-05')"),                           // purged
        QStringLiteral("(12, 2, '2026-12-06T00:00:00.5')"),                // kept
    };
    QStringList setup = {test::orderTableDdl()};
    for (const QString& values : rows)
        setup << QStringLiteral("INSERT INTO ordisp (id, status, insdate) VALUES ") + values;
    QVERIFY(test::openScratchDatabase(db, dir, setup));

    qint32 number = -99;
    QString text;
    QVERIFY(ExecSql(
        db, OrderSql::purgeDoneOrders(SqlDate(today, QStringLiteral("00:00:00"), kDbTypeJet, QString())),
        &number, &text));
    QCOMPARE(number, 0);
    ResultData data;
    QVERIFY(db.select(QStringLiteral("SELECT id FROM ordisp ORDER BY id"), &data));
    QList<int> kept;
    for (const ResultRow& row : data.rows)
        kept << row.first().toInt();
    QCOMPARE(kept, (QList<int>{2, 3, 4, 6, 8, 9, 10, 12}));
}

void TestDatabase::odbcEscape_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("escaped");
    QTest::newRow("plain stays bare") << "zalpos"
                                      << "zalpos";
    QTest::newRow("instance stays bare") << "kasse\\SQLEXPRESS"
                                         << "kasse\\SQLEXPRESS";
    QTest::newRow("inner blank stays bare") << "Max Muster"
                                            << "Max Muster";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("semicolon and equals") << "a;b=c"
                                          << "{a;b=c}";
    QTest::newRow("closing brace") << "a}b"
                                   << "{a}}b}";
    QTest::newRow("opening brace") << "{a"
                                   << "{{a}";
    QTest::newRow("two closing braces") << "}}"
                                        << "{}}}}}";
    QTest::newRow("host and port") << "kasse,1433"
                                   << "{kasse,1433}";
    QTest::newRow("at sign") << "user@domain"
                             << "{user@domain}";
    QTest::newRow("leading blank") << " pw"
                                   << "{ pw}";
    QTest::newRow("trailing blank") << "pw "
                                    << "{pw }";
}

void TestDatabase::odbcEscape() {
    QFETCH(QString, value);
    QFETCH(QString, escaped);
    QCOMPARE(odbc::escape(value), escaped);
}

void TestDatabase::odbcConnectionString_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("dsn");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("expected");
    QTest::newRow("driver with password")
        << "kasse\\SQLEXPRESS"
        << "sa"
        << "geheim" << false << "ODBC Driver 18 for SQL Server"
        << "DRIVER={ODBC Driver 18 for SQL "
           "Server};SERVER=kasse\\SQLEXPRESS;DATABASE=zalpos;UID=sa;PWD=geheim";
    QTest::newRow("empty password has no PWD")
        << "kasse,1433"
        << "sa"
        << "" << false << "ODBC Driver 17 for SQL Server"
        << "DRIVER={ODBC Driver 17 for SQL Server};SERVER={kasse,1433};DATABASE=zalpos;UID=sa";
    QTest::newRow("password cannot add attributes")
        << "kasse"
        << "sa"
        << "a;DATABASE=master;b=}c" << false << "ODBC Driver 18 for SQL Server"
        << "DRIVER={ODBC Driver 18 for SQL "
           "Server};SERVER=kasse;DATABASE=zalpos;UID=sa;PWD={a;DATABASE=master;b=}}c}";
    QTest::newRow("password of braces only")
        << "kasse"
        << "sa"
        << "}" << false << "ODBC Driver 18 for SQL Server"
        << "DRIVER={ODBC Driver 18 for SQL Server};SERVER=kasse;DATABASE=zalpos;UID=sa;PWD={}}}";
    QTest::newRow("user and server escaped")
        << "x};PWD={y"
        << "a}b"
        << "" << false << "ODBC Driver 18 for SQL Server"
        << "DRIVER={ODBC Driver 18 for SQL Server};SERVER={x}};PWD={y};DATABASE=zalpos;UID={a}}b}";
    QTest::newRow("freetds pins its protocol")
        << "kasse"
        << "sa"
        << "" << false << "FreeTDS"
        << "DRIVER={FreeTDS};SERVER=kasse;DATABASE=zalpos;UID=sa;TDS_Version=7.4";
    QTest::newRow("data source without DSN=") << "Kasse"
                                              << "sa"
                                              << "pw" << true << ""
                                              << "Kasse;DATABASE=zalpos;UID=sa;PWD=pw";
    QTest::newRow("data source, no user, no password") << "Kasse"
                                                       << ""
                                                       << "" << true << ""
                                                       << "Kasse;DATABASE=zalpos;UID=";
    QTest::newRow("data source, password naming a server")
        << "Kasse"
        << "sa"
        << "x;Server=evil" << true << ""
        << "DSN=Kasse;DATABASE=zalpos;UID=sa;PWD={x;Server=evil}";
    QTest::newRow("data source, user naming a driver") << "Kasse"
                                                       << "driver=x"
                                                       << "" << true << ""
                                                       << "DSN=Kasse;DATABASE=zalpos;UID={driver=x}";
}

void TestDatabase::odbcConnectionString() {
    QFETCH(QString, server);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, dsn);
    QFETCH(QString, driver);
    QFETCH(QString, expected);
    ConnectionSettings settings;
    settings.type = kDbTypeSql;
    settings.server = server;
    settings.user = user;
    settings.password = password;
    QCOMPARE(odbc::connectionString(settings, dsn, driver), expected);
}

void TestDatabase::isValidDsnName_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "Kasse" << true;
    QTest::newRow("blank and dash") << "Kasse Nord-1" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blanks only") << "   " << false;
    QTest::newRow("instance") << "<NAME>\\SQLEXPRESS" << false;
    QTest::newRow("host and port") << "kasse,1433" << false;
    for (const char c : QByteArray("[]{}(),;?*=!@\\")) {
        const QString name = QStringLiteral("a") + QLatin1Char(c) + QStringLiteral("b");
        QTest::newRow(qPrintable(QStringLiteral("with ") + QLatin1Char(c))) << name << false;
    }
}

void TestDatabase::isValidDsnName() {
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QCOMPARE(odbc::isValidDsnName(name), valid);
}

void TestDatabase::knownDataSourceFromDriverManager() {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("odbc.ini"));
    {
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[OrdispKasse]\nDriver=FreeTDS\nServer=127.0.0.1\nPort=1\n");
    }
    const QByteArray previous = qgetenv("ODBCINI");
    qputenv("ODBCINI", QFile::encodeName(ini));
    const bool known = odbc::isKnownDataSource(QStringLiteral("OrdispKasse"));
    const bool otherCase = odbc::isKnownDataSource(QStringLiteral("ordispkasse"));
    const bool unknown = odbc::isKnownDataSource(QStringLiteral("OrdispNirgends"));
    if (previous.isNull())
        qunsetenv("ODBCINI");
    else
        qputenv("ODBCINI", previous);
    QVERIFY(known);
    QVERIFY(otherCase);
    QVERIFY(!unknown);
}

void TestDatabase::unknownServerFailsCleanly_data() {
    QTest::addColumn<QString>("server");
    QTest::newRow("closed port") << "127.0.0.1,1";
    QTest::newRow("placeholder default") << "<NAME>\\SQLEXPRESS";
    QTest::newRow("empty") << "";
}

void TestDatabase::unknownServerFailsCleanly() {
    QFETCH(QString, server);
    if (odbc::sqlServerDriver().isEmpty())
        QSKIP("no SQL Server ODBC driver installed");
    Database db(QStringLiteral("tst_database_odbc"));
    ConnectionSettings settings;
    settings.type = kDbTypeSql;
    settings.server = server;
    settings.user = QStringLiteral("sa");
    settings.password = QStringLiteral("x;y}");
    QElapsedTimer timer;
    timer.start();
    DbError error;
    QVERIFY(!db.open(settings, &error));
    QVERIFY2(timer.elapsed() < 12000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!db.isOpen());
    QCOMPARE(error.source, QStringLiteral("QODBC"));
    QVERIFY(error.number != 0);
    QVERIFY(!error.description.isEmpty());
    QVERIFY(!db.exec(QStringLiteral("SELECT 1")));
}

void TestDatabase::silentServerTimesOut() {
    if (odbc::sqlServerDriver().isEmpty())
        QSKIP("no SQL Server ODBC driver installed");
    // Accepts connections (the kernel completes them) but never answers the login.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost, 0));
    Database db(QStringLiteral("tst_database_odbc"));
    ConnectionSettings settings;
    settings.type = kDbTypeSql;
    settings.server = QStringLiteral("127.0.0.1,%1").arg(silent.serverPort());
    settings.user = QStringLiteral("sa");
    QElapsedTimer timer;
    timer.start();
    DbError error;
    QVERIFY(!db.open(settings, &error));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 9000 && elapsed < 20000, qPrintable(QString::number(elapsed)));
    QCOMPARE(error.source, QStringLiteral("QODBC"));
    QCOMPARE(error.number, -1); // FreeTDS gives no native code for its own time-out
    QVERIFY(!error.description.isEmpty());
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
