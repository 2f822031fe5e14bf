#include "Clock.h"
#include "Database.h"
#include "DbHelpers.h"
#include "InstanceGuard.h"
#include "MessageSink.h"
#include "ResultSet.h"
#include "Schema.h"
#include "Startup.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace ordisp;

namespace {

class FakeGuard final : public InstanceGuard {
public:
    explicit FakeGuard(bool first)
        : m_first(first) {}
    bool acquire() override { return m_first; }
    void activateRunning() override { ++activations; }
    int activations = 0;

private:
    bool m_first;
};

// Lines of the configuration file without blanks, in file order.
QStringList IniLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void firstStartWritesEveryDefault();
    void secondInstanceTouchesNothing();
    void otherTypeMeansFile_data();
    void otherTypeMeansFile();
    void fileBesideExecutable_data();
    void fileBesideExecutable();
    void fileInWorkingFolder();
    void fileFoundNowhere();
    void notAnOrderDatabase_data();
    void notAnOrderDatabase();
    void purgeAroundMidnight();
    void refusedProbeGoesOn();
    void overflowEndsWithMessage();
    void unreadableConfiguration();

private:
    StartupOutcome run(const QDateTime& now = QDateTime(QDate(2026, 12, 6), QTime(12, 0)));
    QString createDatabase(const QString& folder);
    void writeJetConfig(const QString& dbFolder, const QByteArray& extra = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_config, m_exe, m_cwd, m_ini;
    RecordingMessageSink m_messages;
    std::unique_ptr<FakeGuard> m_guard;
};

void TestStartup::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_config = m_dir->filePath(QStringLiteral("config/zalpos"));
    m_exe = m_dir->filePath(QStringLiteral("bin"));
    m_cwd = m_dir->filePath(QStringLiteral("cwd"));
    QVERIFY(QDir().mkpath(m_exe));
    QVERIFY(QDir().mkpath(m_cwd));
    m_ini = ConfigFilePath(m_config);
    m_messages.clear();
    m_guard = std::make_unique<FakeGuard>(true);
}

StartupOutcome TestStartup::run(const QDateTime& now) {
    FixedClock clock(now);
    StartupEnvironment env;
    env.messages = &m_messages;
    env.clock = &clock;
    env.instance = m_guard.get();
    env.configFolder = m_config;
    env.executableFolder = m_exe;
    env.currentFolder = m_cwd;
    return RunStartup(env);
}

QString TestStartup::createDatabase(const QString& folder) {
    QDir().mkpath(folder);
    const QString file = folder + QStringLiteral("/ZALPOS.MDB");
    Database db(QStringLiteral("create"));
    ConnectionSettings s;
    s.type = kDbTypeJet;
    s.file = file;
    s.createFile = true;
    DbError error;
    if (!db.open(s, &error) || !EnsureOrderSchema(db, nullptr, &error))
        qWarning() << "cannot create test database" << error.description;
    db.close();
    return file;
}

void TestStartup::writeJetConfig(const QString& dbFolder, const QByteArray& extra) {
    QDir().mkpath(m_config);
    WriteFile(m_ini,
              "[DATABASE]\r\nTYP=MS-JET\r\n[PFADE]\r\nDATENBANK=" + dbFolder.toUtf8() + "\r\n" + extra);
}

void TestStartup::firstStartWritesEveryDefault() {
    const StartupOutcome outcome = run();
    QCOMPARE(outcome.showMainWindow, false);
    QCOMPARE(outcome.exitCode, 1);

    const QStringList expected = {
        QStringLiteral("[ORDISP]"),
        QStringLiteral("LEFT=0"),
        QStringLiteral("WIDTH=1024"),
        QStringLiteral("HEIGHT=768"),
        QStringLiteral("ORDISPNR=1"),
        QStringLiteral("[DATABASE]"),
        QStringLiteral("TYP=MS-SQL"),
        QStringLiteral("SERVER=<NAME>\\SQLEXPRESS"),
        QStringLiteral("USER=sa"),
        QStringLiteral("PWD="),
        QStringLiteral("PWDC="),
        QStringLiteral("JET-PROVIDER=4.0"),
        QStringLiteral("[PFADE]"),
        QStringLiteral("DATENBANK=") + m_exe,
        QStringLiteral("EXE=") + m_exe + QLatin1Char('/'),
        QStringLiteral("TRESK=C:\\Programme\\Tresk\\Tresk\\"),
    };
    QCOMPARE(IniLines(m_ini), expected);

    // The placeholder server cannot be reached: the connection error, then the not-found message.
    QCOMPARE(m_messages.shown().size(), 2);
    QCOMPARE(m_messages.shown().at(0).style, int(MsgCritical));
    QVERIFY(m_messages.shown().at(0).text.startsWith(QStringLiteral(
        "Die Verbindung zur Datenbank 'zalpos' konnte nicht hergestellt werden.\r\n\r\nFehler: ")));
    QCOMPARE(m_messages.shown().at(1).style, int(MsgInformation));
    QCOMPARE(m_messages.shown().at(1).text,
             QStringLiteral("Die Datenbank 'zalpos' auf Server '<NAME>\\SQLEXPRESS' wurde nicht gefunden. "));
}

void TestStartup::secondInstanceTouchesNothing() {
    m_guard = std::make_unique<FakeGuard>(false);
    const StartupOutcome outcome = run();
    QCOMPARE(outcome.showMainWindow, false);
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(m_messages.texts(), QStringList{QStringLiteral("Programm läuft bereits.")});
    QCOMPARE(m_messages.shown().at(0).style, int(MsgInformation));
    QCOMPARE(m_guard->activations, 1);
    QVERIFY(!QFileInfo::exists(m_ini));
    QVERIFY(!QFileInfo::exists(m_config));
}

void TestStartup::otherTypeMeansFile_data() {
    QTest::addColumn<QByteArray>("typ");
    QTest::newRow("lower case") << QByteArray("ms-sql");
    QTest::newRow("ODBC") << QByteArray("ODBC");
    QTest::newRow("trailing word") << QByteArray("MS-SQL2");
}

void TestStartup::otherTypeMeansFile() {
    QFETCH(QByteArray, typ);
    const QString dbFolder = m_dir->filePath(QStringLiteral("db"));
    createDatabase(dbFolder);
    QDir().mkpath(m_config);
    WriteFile(m_ini, "[DATABASE]\nTYP=" + typ + "\n[PFADE]\nDATENBANK=" + dbFolder.toUtf8() + "\n");

    const StartupOutcome outcome = run();
    QVERIFY2(outcome.showMainWindow, qPrintable(m_messages.texts().join(QLatin1Char('|'))));
    QCOMPARE(outcome.db->type(), kDbTypeJet);
    QVERIFY(m_messages.shown().isEmpty());
    const QString ini = IniLines(m_ini).join(QLatin1Char('\n'));
    for (const char* key : {"SERVER=", "USER=", "PWD=", "PWDC="})
        QVERIFY2(!ini.contains(QLatin1String(key)), key);
}

void TestStartup::fileBesideExecutable_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("stored");
    QTest::newRow("yes stores the folder") << int(AnswerYes) << true;
    QTest::newRow("no stores nothing") << int(AnswerNo) << false;
}

void TestStartup::fileBesideExecutable() {
    QFETCH(int, answer);
    QFETCH(bool, stored);
    const QString configured = m_dir->filePath(QStringLiteral("missing"));
    writeJetConfig(configured);
    const QString file = createDatabase(m_exe);
    m_messages.setNextAnswer(answer);

    const StartupOutcome outcome = run();
    QVERIFY(outcome.showMainWindow);
    QCOMPARE(outcome.db->settings().file, file);
    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown().at(0).style, int(MsgYesNoExclamation));
    QCOMPARE(m_messages.shown().at(0).text,
             QStringLiteral("Die Datenbank wurde nicht im konfigurierten Verzeichnis gefunden. Es wird die "
                            "Datenbank ") +
                 file + QStringLiteral(" verwendet. Soll diese Einstellung dauerhaft gespeichert werden ?"));
    const QStringList lines = IniLines(m_ini);
    QCOMPARE(lines.contains(QStringLiteral("DATENBANK=") + m_exe), stored);
    QCOMPARE(lines.contains(QStringLiteral("DATENBANK=") + configured), !stored);

    // Stored: the next start asks nothing.
    outcome.db->close();
    m_messages.clear();
    const StartupOutcome again = run();
    QVERIFY(again.showMainWindow);
    QCOMPARE(m_messages.shown().size(), stored ? 0 : 1);
}

void TestStartup::fileInWorkingFolder() {
    writeJetConfig(m_dir->filePath(QStringLiteral("missing")));
    const QString file = createDatabase(m_cwd);
    const StartupOutcome outcome = run();
    QVERIFY(outcome.showMainWindow);
    QCOMPARE(outcome.db->settings().file, file);
    QCOMPARE(IniLines(m_ini).contains(QStringLiteral("DATENBANK=") + m_cwd), true);
}

void TestStartup::fileFoundNowhere() {
    const QString configured = m_dir->filePath(QStringLiteral("missing"));
    writeJetConfig(configured);
    const StartupOutcome outcome = run();
    QCOMPARE(outcome.showMainWindow, false);
    QCOMPARE(outcome.exitCode, 1);
    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown().at(0).style, int(MsgExclamation));
    QCOMPARE(m_messages.shown().at(0).text,
             QStringLiteral("Die Datenbank wurde nicht im konfigurierten Verzeichnis ") + configured +
                 QStringLiteral(
                     "/ZALPOS.MDB gefunden. \r\n\r\nBitte stellen Sie den Pfad zur Datei ZALPOS.MDB in ") +
                 m_ini + QStringLiteral(" ein."));
    QVERIFY(!QFileInfo::exists(configured + QStringLiteral("/ZALPOS.MDB")));
}

void TestStartup::notAnOrderDatabase_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("text file") << QByteArray("Bestellungen\r\nTisch 4\r\n");
    QByteArray jet(4096, '\0');
    jet.replace(4, 15, "Standard Jet DB");
    QTest::newRow("jet file header") << jet;
}

void TestStartup::notAnOrderDatabase() {
    QFETCH(QByteArray, content);
    const QString dbFolder = m_dir->filePath(QStringLiteral("db"));
    QDir().mkpath(dbFolder);
    const QString file = dbFolder + QStringLiteral("/ZALPOS.MDB");
    WriteFile(file, content);
    writeJetConfig(dbFolder);

    const StartupOutcome outcome = run();
    QCOMPARE(outcome.showMainWindow, false);
    QCOMPARE(outcome.exitCode, 1);
    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown().at(0).style, int(MsgCritical));
    const QString text = m_messages.shown().at(0).text;
    QVERIFY(
        text.startsWith(QStringLiteral("Die Datenbank konnte nicht geöffnet werden. Das Programm wird daher "
                                       "beendet.\r\n\r\nStarten Sie das Programm neu")));
    QVERIFY(text.contains(QStringLiteral("\r\n\r\nFehler-Beschreibung: ")));
    QVERIFY(text.contains(QStringLiteral("\r\nFehler-Quelle: QSQLITE")));
    // The file is left exactly as it was.
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), content);
}

void TestStartup::purgeAroundMidnight() {
    const QString dbFolder = m_dir->filePath(QStringLiteral("db"));
    const QString file = createDatabase(dbFolder);
    writeJetConfig(dbFolder);
    {
        Database db(QStringLiteral("fill"));
        ConnectionSettings s;
        s.type = kDbTypeJet;
        s.file = file;
        QVERIFY(db.open(s));
        struct Row {
            int monitor;
            int status;
            QDateTime insdate;
            const char* txt;
        };
        const QDate today(2026, 12, 6);
        const Row rows[] = {
            {1, 2, QDateTime(today.addDays(-1), QTime(23, 59)), "done yesterday"},
            {1, 2, QDateTime(today, QTime(0, 1)), "done today"},
            {1, 0, QDateTime(today.addDays(-30), QTime(12, 0)), "new old"},
            {1, 1, QDateTime(today.addDays(-30), QTime(12, 0)), "started old"},
            {7, 2, QDateTime(today.addDays(-2), QTime(8, 0)), "other monitor done"},
            {1, 2, QDateTime(), "done without date"},
        };
        for (const Row& r : rows) {
            OrderInput in;
            in.monitorNr = r.monitor;
            in.table = 4;
            in.status = r.status;
            in.insdate = r.insdate;
            in.text = QString::fromLatin1(r.txt);
            QVERIFY(InsertOrder(db, in));
        }
    }

    const StartupOutcome outcome = run(QDateTime(QDate(2026, 12, 6), QTime(0, 5)));
    QVERIFY(outcome.showMainWindow);
    ResultData data;
    QVERIFY(outcome.db->select(QStringLiteral("SELECT txt FROM ordisp ORDER BY txt"), &data));
    QStringList left;
    for (const ResultRow& row : data.rows)
        left << row.at(0).toString();
    QCOMPARE(left, (QStringList{QStringLiteral("done today"), QStringLiteral("done without date"),
                                QStringLiteral("new old"), QStringLiteral("started old")}));

    // Any number of restarts today keeps today's done line.
    outcome.db->close();
    const StartupOutcome again = run(QDateTime(QDate(2026, 12, 6), QTime(23, 59)));
    QVERIFY(again.db->select(QStringLiteral("SELECT txt FROM ordisp WHERE status = 2"), &data));
    QCOMPARE(data.rows.size(), 2);
}

void TestStartup::refusedProbeGoesOn() {
    const QString dbFolder = m_dir->filePath(QStringLiteral("db"));
    const QString file = createDatabase(dbFolder);
    writeJetConfig(dbFolder);
    {
        Database db(QStringLiteral("lock"));
        ConnectionSettings s;
        s.type = kDbTypeJet;
        s.file = file;
        QVERIFY(db.open(s));
        // A database that refuses writes to its settings table, as a read-only one does.
        QVERIFY(db.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON system BEGIN "
                                       "SELECT RAISE(ABORT, 'attempt to write a readonly database'); END")));
    }
    const StartupOutcome outcome = run();
    QVERIFY(outcome.showMainWindow);
    QCOMPARE(outcome.db->dateLiteralStyle(), QStringLiteral("E"));
    QCOMPARE(
        m_messages.texts(),
        QStringList{QStringLiteral("Unbekanntes Datumsformat oder kein Schreibzugriff auf die Datenbank !")});
    QCOMPARE(m_messages.shown().at(0).style, int(MsgCritical));
}

void TestStartup::overflowEndsWithMessage() {
    QDir().mkpath(m_config);
    WriteFile(m_ini, "[ORDISP]\nWIDTH=99999999999\n");
    const StartupOutcome outcome = run();
    QCOMPARE(outcome.showMainWindow, false);
    QCOMPARE(outcome.exitCode, 1);
    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown().at(0).style, int(MsgCritical));
    QVERIFY2(
        m_messages.shown().at(0).text.contains(QStringLiteral("Überlauf (Fehler 6): der Wert von [ORDISP] "
                                                              "WIDTH=99999999999 in ") +
                                               m_ini),
        qPrintable(m_messages.shown().at(0).text));
    // Nothing after the failing read was written.
    QVERIFY(!IniLines(m_ini).join(QLatin1Char('\n')).contains(QLatin1String("TYP=")));
}

void TestStartup::unreadableConfiguration() {
    // A folder where the file should be: reading fails; the display must say so, not guess.
    QVERIFY(QDir().mkpath(m_ini));
    const StartupOutcome outcome = run();
    QCOMPARE(outcome.showMainWindow, false);
    QCOMPARE(outcome.exitCode, 1);
    QCOMPARE(m_messages.shown().size(), 1);
    QCOMPARE(m_messages.shown().at(0).style, int(MsgCritical));
    QVERIFY(m_messages.shown().at(0).text.contains(m_ini));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
