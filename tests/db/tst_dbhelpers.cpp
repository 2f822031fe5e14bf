#include "DbHelpers.h"
#include "DbTestSupport.h"
#include "SqliteSupport.h"

#include <QDir>
#include <QtTest>

using namespace ordisp;

class TestDbHelpers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fieldValueOfNull_data();
    void fieldValueOfNull();
    void fieldValueTrimsBlanksOnly_data();
    void fieldValueTrimsBlanksOnly();
    void fieldValueLeavesOtherValues_data();
    void fieldValueLeavesOtherValues();
    void fieldValueWithoutRowIsInvalid();
    void execSqlReportsAndResets();
    void execSqlOnClosedConnection();
    void sqlDate_data();
    void sqlDate();
    void fileExists_data();
    void fileExists();
    void translateJetDateLiterals_data();
    void translateJetDateLiterals();
};

namespace {

// Reads column c of the single row of a table whose column c has the declared type.
QVariant readBack(const QString& declaredType, const QString& valueSql,
                  const QString& selectSql = QString()) {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_dbhelpers"));
    const QString ddl = declaredType.isEmpty() ? QStringLiteral("CREATE TABLE t (c)")
                                               : QStringLiteral("CREATE TABLE t (c %1)").arg(declaredType);
    if (!test::openScratchDatabase(db, dir,
                                   {ddl, QStringLiteral("INSERT INTO t (c) VALUES (%1)").arg(valueSql)}))
        return QStringLiteral("<setup failed>");
    ResultSet rs;
    if (!rs.open(db, selectSql.isEmpty() ? QStringLiteral("SELECT c FROM t") : selectSql))
        return QStringLiteral("<select failed>");
    return FieldValue(rs, QStringLiteral("c"));
}

} // namespace

void TestDbHelpers::fieldValueOfNull_data() {
    QTest::addColumn<QString>("declaredType");
    QTest::addColumn<QString>("selectSql");
    QTest::addColumn<QVariant>("expected");
    const QVariant empty(QString(QLatin1String("")));
    const QVariant date(QDateTime(QDate(1900, 1, 1), QTime(0, 0)));
    const QVariant zero = QVariant::fromValue<qint16>(0);
    QTest::newRow("VARCHAR") << "VARCHAR(255)" << QString() << empty;
    QTest::newRow("CHAR") << "CHAR(2)" << QString() << empty;
    QTest::newRow("TEXT") << "TEXT" << QString() << empty;
    QTest::newRow("NVARCHAR lower case") << "nvarchar(40)" << QString() << empty;
    QTest::newRow("BIT") << "BIT" << QString() << QVariant(false);
    QTest::newRow("BOOLEAN") << "BOOLEAN" << QString() << QVariant(false);
    QTest::newRow("DATE") << "DATE" << QString() << date;
    QTest::newRow("DATETIME") << "DATETIME" << QString() << date;
    QTest::newRow("TIMESTAMP") << "TIMESTAMP" << QString() << date;
    QTest::newRow("INTEGER") << "INTEGER" << QString() << zero;
    QTest::newRow("SMALLINT") << "SMALLINT" << QString() << zero;
    QTest::newRow("REAL") << "REAL" << QString() << zero;
    QTest::newRow("TIME is other") << "TIME" << QString() << zero;
    QTest::newRow("no declared type") << "" << QString() << zero;
    QTest::newRow("expression") << "VARCHAR(20)"
                                << "SELECT NULL AS c FROM t" << zero;
    QTest::newRow("alias keeps column type") << "VARCHAR(20)"
                                             << "SELECT c AS c FROM t" << empty;
}

void TestDbHelpers::fieldValueOfNull() {
    QFETCH(QString, declaredType);
    QFETCH(QString, selectSql);
    QFETCH(QVariant, expected);
    const QVariant value = readBack(declaredType, QStringLiteral("NULL"), selectSql);
    QCOMPARE(value.metaType(), expected.metaType());
    QCOMPARE(value, expected);
    QVERIFY(!value.isNull());
}

void TestDbHelpers::fieldValueTrimsBlanksOnly_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("two blanks each side") << "'  Schnitzel  '"
                                          << "Schnitzel";
    QTest::newRow("inner blanks stay") << "' Wiener  Schnitzel '"
                                       << "Wiener  Schnitzel";
    QTest::newRow("tabs stay") << "char(9) || 'Suppe' || char(9)"
                               << "\tSuppe\t";
    QTest::newRow("line break stays") << "'Suppe' || char(10) || ' '"
                                      << "Suppe\n";
    QTest::newRow("only blanks") << "'   '"
                                 << "";
    QTest::newRow("empty") << "''"
                           << "";
    QTest::newRow("umlauts") << "' Grüße '"
                             << "Grüße";
}

void TestDbHelpers::fieldValueTrimsBlanksOnly() {
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    const QVariant value = readBack(QStringLiteral("VARCHAR(255)"), stored);
    QCOMPARE(value.metaType(), QMetaType::fromType<QString>());
    QCOMPARE(value.toString(), expected);
}

void TestDbHelpers::fieldValueLeavesOtherValues_data() {
    QTest::addColumn<QString>("declaredType");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("integer") << "INTEGER"
                             << "42" << QVariant(qlonglong(42));
    QTest::newRow("negative integer") << "INTEGER"
                                      << "-7" << QVariant(qlonglong(-7));
    QTest::newRow("real") << "REAL"
                          << "1.5" << QVariant(1.5);
    QTest::newRow("bit stays a number") << "BIT"
                                        << "-1" << QVariant(qlonglong(-1));
    QTest::newRow("date text") << "DATETIME"
                               << "'2026-12-06 18:30:05'"
                               << QVariant(QDateTime(QDate(2026, 12, 6), QTime(18, 30, 5)));
    QTest::newRow("number in text column keeps blanks rule") << "VARCHAR(10)"
                                                             << "' 12 '" << QVariant(QStringLiteral("12"));
    QTest::newRow("blob") << "BLOB"
                          << "x'2001'" << QVariant(QByteArray("\x20\x01", 2));
}

void TestDbHelpers::fieldValueLeavesOtherValues() {
    QFETCH(QString, declaredType);
    QFETCH(QString, stored);
    QFETCH(QVariant, expected);
    const QVariant value = readBack(declaredType, stored);
    QCOMPARE(value.metaType(), expected.metaType());
    QCOMPARE(value, expected);
}

void TestDbHelpers::fieldValueWithoutRowIsInvalid() {
    ResultSet rs;
    ResultData data;
    data.columns = {ResultColumn{QStringLiteral("c"), ColumnKind::Character}};
    rs.assign(data, QString());
    QVERIFY(rs.eof());
    QVERIFY(!FieldValue(rs, QStringLiteral("c")).isValid());
    data.rows = {ResultRow{QVariant(QMetaType::fromType<QString>())}};
    rs.assign(data, QString());
    QVERIFY(!FieldValue(rs, QStringLiteral("missing")).isValid());
    QCOMPARE(FieldValue(rs, QStringLiteral("C")), QVariant(QString(QLatin1String(""))));
}

void TestDbHelpers::execSqlReportsAndResets() {
    QTemporaryDir dir;
    Database db(QStringLiteral("tst_dbhelpers"));
    QVERIFY(test::openScratchDatabase(db, dir, {QStringLiteral("CREATE TABLE system (moddate DATETIME)")}));
    qint32 number = 12345;
    QString text = QStringLiteral("stale");
    QVERIFY(!ExecSql(db, QStringLiteral("UPDATE nosuchtable SET x = 1"), &number, &text));
    QCOMPARE(number, 1); // SQLITE_ERROR
    QVERIFY2(text.contains(QLatin1String("nosuchtable")), qPrintable(text));
    QVERIFY(ExecSql(db, QStringLiteral("UPDATE system SET moddate = '31.12.2000'"), &number, &text));
    QCOMPARE(number, 0);
    QCOMPARE(text, QString());
    QVERIFY(ExecSql(db, QStringLiteral("SELECT * FROM system"))); // rows are released unread
}

void TestDbHelpers::execSqlOnClosedConnection() {
    Database db(QStringLiteral("tst_dbhelpers_closed"));
    qint32 number = 0;
    QString text;
    QVERIFY(!ExecSql(db, QStringLiteral("DELETE FROM ordisp"), &number, &text));
    QCOMPARE(number, -1);
    QVERIFY(!text.isEmpty());
}

void TestDbHelpers::sqlDate_data() {
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("dbType");
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("expected");
    const QDate newYearsEve(2000, 12, 31);
    QTest::newRow("jet") << newYearsEve << "00:00:00"
                         << "MS-JET"
                         << ""
                         << "#12/31/2000 00:00:00#";
    QTest::newRow("jet ignores style") << newYearsEve << "00:00:00"
                                       << "MS-JET"
                                       << "D"
                                       << "#12/31/2000 00:00:00#";
    QTest::newRow("jet pads day and month") << QDate(2026, 3, 5) << "00:00:00"
                                            << "MS-JET"
                                            << "E"
                                            << "#03/05/2026 00:00:00#";
    QTest::newRow("sql day first") << newYearsEve << "00:00:00"
                                   << "MS-SQL"
                                   << "D"
                                   << "'31.12.2000 00:00:00'";
    QTest::newRow("sql iso") << newYearsEve << "00:00:00"
                             << "MS-SQL"
                             << "E"
                             << "'2000-12-31 00:00:00'";
    QTest::newRow("sql before probe") << newYearsEve << "00:00:00"
                                      << "MS-SQL"
                                      << ""
                                      << "'2000-12-31 00:00:00'";
    QTest::newRow("sql empty time") << newYearsEve << ""
                                    << "MS-SQL"
                                    << "E"
                                    << "'2000-12-31 '";
    QTest::newRow("jet empty time") << newYearsEve << ""
                                    << "MS-JET"
                                    << ""
                                    << "#12/31/2000 #";
    QTest::newRow("time copied unchanged") << newYearsEve << "7:5"
                                           << "MS-SQL"
                                           << "D"
                                           << "'31.12.2000 7:5'";
    QTest::newRow("four digit year") << QDate(999, 1, 2) << "00:00:00"
                                     << "MS-SQL"
                                     << "E"
                                     << "'0999-01-02 00:00:00'";
    QTest::newRow("lower case type is the file") << newYearsEve << "00:00:00"
                                                 << "ms-sql"
                                                 << "D"
                                                 << "#12/31/2000 00:00:00#";
}

void TestDbHelpers::sqlDate() {
    QFETCH(QDate, date);
    QFETCH(QString, time);
    QFETCH(QString, dbType);
    QFETCH(QString, style);
    QFETCH(QString, expected);
    QCOMPARE(SqlDate(date, time, dbType, style), expected);
}

void TestDbHelpers::fileExists_data() {
    QTest::addColumn<QString>("relativePath"); // below a fresh folder holding "ZALPOS.MDB", ".hidden", "sub/"
    QTest::addColumn<bool>("expected");
    QTest::newRow("file") << "ZALPOS.MDB" << true;
    QTest::newRow("name case differs") << "zalpos.mdb" << false;
    QTest::newRow("missing") << "missing.MDB" << false;
    QTest::newRow("folder") << "sub" << false;
    QTest::newRow("folder with slash") << "sub/" << false;
    QTest::newRow("hidden file") << ".hidden" << false;
    QTest::newRow("file in hidden folder") << ".dir/ZALPOS.MDB" << true;
    QTest::newRow("below a file") << "ZALPOS.MDB/x" << false;
    QTest::newRow("symlink to file") << "link.MDB" << true;
    QTest::newRow("dangling symlink") << "dangling.MDB" << false;
}

void TestDbHelpers::fileExists() {
    QFETCH(QString, relativePath);
    QFETCH(bool, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const auto touch = [&](const QString& name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly);
    };
    QVERIFY(touch(QStringLiteral("ZALPOS.MDB")));
    QVERIFY(touch(QStringLiteral(".hidden")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sub")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral(".dir")));
    QVERIFY(touch(QStringLiteral(".dir/ZALPOS.MDB")));
    QVERIFY(
        QFile::link(dir.filePath(QStringLiteral("ZALPOS.MDB")), dir.filePath(QStringLiteral("link.MDB"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath(QStringLiteral("dangling.MDB"))));
    QCOMPARE(FileExists(dir.filePath(relativePath)), expected);
}

void TestDbHelpers::translateJetDateLiterals_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expected");
    QTest::newRow("purge") << "DELETE FROM ordisp WHERE status = 2 AND insdate < #12/06/2026 00:00:00#"
                           << "DELETE FROM ordisp WHERE status = 2 AND insdate < '2026-12-06 00:00:00'";
    QTest::newRow("month first") << "#01/02/2026 10:11:12#"
                                 << "'2026-01-02 10:11:12'";
    QTest::newRow("single digits") << "#1/5/2026 7:05:09#"
                                   << "'2026-01-05 07:05:09'";
    QTest::newRow("date only") << "#12/31/2000#"
                               << "'2000-12-31 00:00:00'";
    QTest::newRow("empty time") << "#12/31/2000 #"
                                << "'2000-12-31 00:00:00'";
    QTest::newRow("no seconds") << "#12/31/2000 23:59#"
                                << "'2000-12-31 23:59:00'";
    QTest::newRow("two literals") << "x BETWEEN #01/01/2026# AND #01/31/2026 23:59:59#"
                                  << "x BETWEEN '2026-01-01 00:00:00' AND '2026-01-31 23:59:59'";
    QTest::newRow("inside single quotes") << "SELECT '#12/31/2000#'"
                                          << "SELECT '#12/31/2000#'";
    QTest::newRow("inside double quotes") << "SELECT \"#12/31/2000#\""
                                          << "SELECT \"#12/31/2000#\"";
    QTest::newRow("after doubled quote") << "SELECT 'it''s #12/31/2000#', #12/31/2000#"
                                         << "SELECT 'it''s #12/31/2000#', '2000-12-31 00:00:00'";
    QTest::newRow("single quote inside double") << "SELECT \"a'b\", #12/31/2000#"
                                                << "SELECT \"a'b\", '2000-12-31 00:00:00'";
    QTest::newRow("unterminated string") << "SELECT 'abc #12/31/2000#"
                                         << "SELECT 'abc #12/31/2000#";
    QTest::newRow("impossible date") << "#02/30/2026#"
                                     << "#02/30/2026#";
    QTest::newRow("month 13") << "#13/01/2026#"
                              << "#13/01/2026#";
    QTest::newRow("hour 24") << "#12/31/2000 24:00:00#"
                             << "#12/31/2000 24:00:00#";
    QTest::newRow("not a date") << "#abc#"
                                << "#abc#";
    QTest::newRow("day first is not jet") << "#31.12.2000#"
                                          << "#31.12.2000#";
    QTest::newRow("unclosed") << "x < #12/31/2000"
                              << "x < #12/31/2000";
    QTest::newRow("stray hash before literal") << "a # b #12/31/2000#"
                                               << "a # b '2000-12-31 00:00:00'";
    QTest::newRow("nothing to do") << "SELECT * FROM ordisp"
                                   << "SELECT * FROM ordisp";
    QTest::newRow("empty") << ""
                           << "";
}

void TestDbHelpers::translateJetDateLiterals() {
    QFETCH(QString, sql);
    QFETCH(QString, expected);
    QCOMPARE(translateJetSql(sql, false), expected);
}

QTEST_GUILESS_MAIN(TestDbHelpers)
#include "tst_dbhelpers.moc"
