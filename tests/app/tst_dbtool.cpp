#include "Database.h"
#include "DbTool.h"
#include "Password.h"
#include "ResultSet.h"
#include "Schema.h"
#include "Startup.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

using namespace ordisp;

class TestDbTool : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void initCreatesFileAndKeepsData();
    void initCompletesTables_data();
    void initCompletesTables();
    void addRejectsBadArguments_data();
    void addRejectsBadArguments();
    void addOnMissingFileFails();
    void encodePasswordRoundTrip();
    void unknownCommand();
    void refusesInWords_data();
    void refusesInWords();

private:
    int run(const QStringList& args, const QString& input = {});
    QList<ResultRow> rows(const QString& sql);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_config, m_exe, m_file, m_out, m_err;
};

void TestDbTool::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_config = m_dir->filePath(QStringLiteral("config"));
    m_exe = m_dir->filePath(QStringLiteral("bin"));
    QDir().mkpath(m_config);
    QDir().mkpath(m_exe);
    // Not there yet: init makes it.
    const QString dbFolder = m_dir->filePath(QStringLiteral("db/kueche"));
    m_file = dbFolder + QStringLiteral("/ZALPOS.MDB");
    QFile ini(ConfigFilePath(m_config));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[DATABASE]\nTYP=MS-JET\n[PFADE]\nDATENBANK=" + dbFolder.toUtf8() + "\n");
}

int TestDbTool::run(const QStringList& args, const QString& input) {
    m_out.clear();
    m_err.clear();
    QString in = input;
    QTextStream out(&m_out), err(&m_err), inStream(&in);
    const int code = RunDbTool(args, DbToolStreams{&out, &err, &inStream}, m_config, m_exe);
    out.flush();
    err.flush();
    return code;
}

QList<ResultRow> TestDbTool::rows(const QString& sql) {
    Database db(QStringLiteral("check"));
    ConnectionSettings s;
    s.type = kDbTypeJet;
    s.file = m_file;
    ResultData data;
    if (!db.open(s) || !db.select(sql, &data))
        return {};
    return data.rows;
}

void TestDbTool::initCreatesFileAndKeepsData() {
    QVERIFY(!QFileInfo::exists(m_file));
    QCOMPARE(run({QStringLiteral("init")}), 0);
    QVERIFY(QFileInfo::exists(m_file));
    QCOMPARE(rows(QStringLiteral("SELECT count(*) FROM system")).at(0).at(0).toInt(), 1);

    QCOMPARE(
        run({QStringLiteral("add"), QStringLiteral("--monitor"), QStringLiteral("2"),
             QStringLiteral("--table"), QStringLiteral("12"), QStringLiteral("--course"), QStringLiteral("1"),
             QStringLiteral("--guest"), QStringLiteral("3"), QStringLiteral("--qty"), QStringLiteral("1,5"),
             QStringLiteral("--text"), QStringLiteral("Schnitzel 'Wiener Art'")}),
        0);
    QCOMPARE(run({QStringLiteral("init")}), 0);
    const QList<ResultRow> data =
        rows(QStringLiteral("SELECT monitornr, tisch, gang, gast, menge, txt, status, "
                            "insdate FROM ordisp"));
    QCOMPARE(data.size(), 1);
    QCOMPARE(data.at(0).at(0).toInt(), 2);
    QCOMPARE(data.at(0).at(1).toInt(), 12);
    QCOMPARE(data.at(0).at(4).toDouble(), 1.5);
    QCOMPARE(data.at(0).at(5).toString(), QStringLiteral("Schnitzel 'Wiener Art'"));
    QCOMPARE(data.at(0).at(6).toInt(), 0);
    QVERIFY(data.at(0).at(7).toDateTime().isValid());
    QCOMPARE(rows(QStringLiteral("SELECT count(*) FROM system")).at(0).at(0).toInt(), 1);
}

void TestDbTool::initCompletesTables_data() {
    QTest::addColumn<QString>("ordisp");  // the table as a terminal made it, with one row
    QTest::addColumn<QString>("missing"); // as the display's open failure names them
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::newRow("guest and quantity missing")
        << "id INTEGER PRIMARY KEY, monitornr INTEGER, tisch INTEGER, gang INTEGER, txt TEXT, status "
           "INTEGER, "
           "insdate DATETIME"
        << "gast, menge" << 0
        << "Angelegt: Spalte ordisp.gast\nAngelegt: Spalte ordisp.menge\nAngelegt: Spalte system.booltest\n"
           "Angelegt: Zeile in system\n";
    QTest::newRow("key missing")
        << "monitornr INTEGER, tisch INTEGER, gang INTEGER, gast INTEGER, menge REAL, "
           "txt TEXT, status INTEGER, insdate DATETIME"
        << "id" << 1 << "";
}

void TestDbTool::initCompletesTables() {
    QFETCH(QString, ordisp);
    QFETCH(QString, missing);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    {
        Database db(QStringLiteral("terminal"));
        ConnectionSettings s;
        s.type = kDbTypeJet;
        s.file = m_file;
        s.createFile = true;
        QVERIFY(QDir().mkpath(QFileInfo(m_file).path()));
        QVERIFY(db.open(s));
        QVERIFY(db.exec(QStringLiteral("CREATE TABLE ordisp (%1)").arg(ordisp)));
        QVERIFY(db.exec(QStringLiteral("INSERT INTO ordisp (monitornr, txt) VALUES (1, 'Suppe')")));
        QVERIFY(db.exec(QStringLiteral("CREATE TABLE system (moddate DATETIME)")));
        DbError error;
        QVERIFY(!HasOrderTable(db, &error));
        QVERIFY2(error.description.contains(QStringLiteral("fehlen die Spalten %1.").arg(missing)),
                 qPrintable(error.description));
    }
    QCOMPARE(run({QStringLiteral("init")}), exitCode);
    QCOMPARE(m_out, output);
    QCOMPARE(m_err.isEmpty(), exitCode == 0);
    QCOMPARE(rows(QStringLiteral("SELECT txt FROM ordisp")), (QList<ResultRow>{{QStringLiteral("Suppe")}}));
    if (exitCode == 0) {
        QCOMPARE(run({QStringLiteral("init")}), 0);
        QCOMPARE(m_out, QStringLiteral("Alle Tabellen und Spalten sind schon vorhanden.\n"));
    }
}

void TestDbTool::addRejectsBadArguments_data() {
    QTest::addColumn<QStringList>("args");
    const QStringList base = {
        QStringLiteral("add"), QStringLiteral("--monitor"), QStringLiteral("1"), QStringLiteral("--table"),
        QStringLiteral("4"),   QStringLiteral("--course"),  QStringLiteral("1"), QStringLiteral("--guest"),
        QStringLiteral("1"),   QStringLiteral("--qty"),     QStringLiteral("1")};
    QTest::newRow("text missing") << base;
    QTest::newRow("table not a number")
        << (QStringList(base) << QStringLiteral("--text") << QStringLiteral("x"))
               .replaceInStrings(QRegularExpression(QStringLiteral("^4$")), QStringLiteral("vier"));
    QTest::newRow("negative monitor")
        << (QStringList(base) << QStringLiteral("--text") << QStringLiteral("x"))
               .replaceInStrings(QRegularExpression(QStringLiteral("^1$")), QStringLiteral("-1"));
    QTest::newRow("quantity not a number") << (QStringList{
        QStringLiteral("add"), QStringLiteral("--monitor"), QStringLiteral("1"), QStringLiteral("--table"),
        QStringLiteral("4"), QStringLiteral("--course"), QStringLiteral("1"), QStringLiteral("--guest"),
        QStringLiteral("1"), QStringLiteral("--qty"), QStringLiteral("viel"), QStringLiteral("--text"),
        QStringLiteral("x")});
    QTest::newRow("unknown option") << (QStringList(base)
                                        << QStringLiteral("--colour") << QStringLiteral("red"));
}

void TestDbTool::addRejectsBadArguments() {
    QFETCH(QStringList, args);
    QCOMPARE(run({QStringLiteral("init")}), 0);
    QVERIFY(run(args) != 0);
    QVERIFY(!m_err.isEmpty());
    QCOMPARE(rows(QStringLiteral("SELECT count(*) FROM ordisp")).at(0).at(0).toInt(), 0);
}

void TestDbTool::addOnMissingFileFails() {
    QVERIFY(run({QStringLiteral("add"), QStringLiteral("--monitor"), QStringLiteral("1"),
                 QStringLiteral("--table"), QStringLiteral("4"), QStringLiteral("--course"),
                 QStringLiteral("1"), QStringLiteral("--guest"), QStringLiteral("1"), QStringLiteral("--qty"),
                 QStringLiteral("1"), QStringLiteral("--text"), QStringLiteral("x")}) != 0);
    QVERIFY(!QFileInfo::exists(m_file));
}

void TestDbTool::encodePasswordRoundTrip() {
    const QString password = QStringLiteral("Geheim;}=ä");
    QCOMPARE(run({QStringLiteral("encode-password")}, password + QLatin1Char('\n')), 0);
    const QString coded = m_out.trimmed();
    QVERIFY(!coded.isEmpty());
    QCOMPARE(DecodePassword(coded), password);
}

void TestDbTool::unknownCommand() {
    QCOMPARE(run({QStringLiteral("drop")}), 2);
    QVERIFY(m_err.contains(QLatin1String("drop")));
    QCOMPARE(run({QStringLiteral("--help")}), 0);
    QCOMPARE(run({QStringLiteral("status"), QStringLiteral("--help")}), 0);
    QVERIFY2(m_out.startsWith(QLatin1String("Aufruf: ordisp-db status [Optionen]")), qPrintable(m_out));
    QVERIFY2(m_out.contains(QLatin1String("Optionen:\n  -h, --help")) &&
                 m_out.contains(QLatin1String("--monitor <N>  Nur dieser Monitor.")),
             qPrintable(m_out));
}

void TestDbTool::refusesInWords_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString status = QStringLiteral("status");
    const QString encode = QStringLiteral("encode-password");
    QTest::newRow("unknown option") << QStringList{status, QStringLiteral("--colour")} << "" << 2
                                    << "ordisp-db status: unbekannte Option '--colour'";
    QTest::newRow("missing value") << QStringList{status, QStringLiteral("--monitor")} << "" << 2
                                   << "nach '--monitor' fehlt der Wert";
    QTest::newRow("option twice") << QStringList{status, QStringLiteral("--monitor"), QStringLiteral("1"),
                                                 QStringLiteral("--monitor=2")}
                                  << "" << 2 << "die Option '--monitor <N>' ist mehrfach angegeben";
    QTest::newRow("empty password") << QStringList{encode} << "\n" << 2 << "kein Kennwort gelesen";
    QTest::newRow("no input") << QStringList{encode} << "" << 2 << "kein Kennwort gelesen";
    QTest::newRow("character beyond Windows-1252") << QStringList{encode} << "Ωmega\n"
                                                   << 1 << "das Zeichen 'Ω' hat keinen Code in Windows-1252";
    QTest::newRow("emoji") << QStringList{encode} << "Suppe\U0001F35C\n"
                           << 1 << "das Zeichen '\U0001F35C' hat keinen Code";
    QTest::newRow("102 characters") << QStringList{encode} << QString(102, u'x') + u'\n' << 1
                                    << "das Kennwort hat 102 Zeichen, codiert werden höchstens 101 Zeichen.";
}

void TestDbTool::refusesInWords() {
    QFETCH(QStringList, args);
    QFETCH(QString, input);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QCOMPARE(run(args, input), exitCode);
    QVERIFY2(m_err.contains(message), qPrintable(m_err));
    QVERIFY(m_out.isEmpty());
    QVERIFY2(!m_err.contains(QLatin1String("Fehler ")), qPrintable(m_err));
}

QTEST_GUILESS_MAIN(TestDbTool)
#include "tst_dbtool.moc"
