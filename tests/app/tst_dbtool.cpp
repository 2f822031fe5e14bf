#include "Database.h"
#include "DbTool.h"
#include "Password.h"
#include "ResultSet.h"
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
    void addRejectsBadArguments_data();
    void addRejectsBadArguments();
    void addOnMissingFileFails();
    void encodePasswordRoundTrip();
    void unknownCommand();

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
    const QString dbFolder = m_dir->filePath(QStringLiteral("db"));
    QDir().mkpath(dbFolder);
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
    QCOMPARE(run({QStringLiteral("init"), QStringLiteral("--help")}), 0);
    QVERIFY(m_out.contains(QLatin1String("--help")));
}

QTEST_GUILESS_MAIN(TestDbTool)
#include "tst_dbtool.moc"
