#include "Clock.h"
#include "Database.h"
#include "DbTool.h"
#include "Password.h"
#include "ServerTestSupport.h"
#include "Simulator.h"
#include "StatusSql.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>
#include <QtTest>

#include <csignal>

using namespace ordisp;
using namespace Qt::StringLiterals;

namespace {

const QDateTime kStart(QDate(2024, 5, 10), QTime(18, 0));

// The number after label in the tool's summary, e.g. "Zeilen 12"; -1 when there is none.
int number(const QString& text, const QString& label) {
    const auto m = QRegularExpression(label + u" (\\d+)"_s).match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace

// The administrator's tool, its simulated evening and its status overview, each on the database file
// and on the PostgreSQL of the test setup.
class TestDbTool : public QObject {
    Q_OBJECT

    PgCluster m_cluster;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScratchRole> m_role;
    std::unique_ptr<Database> m_db;
    ConnectionSettings m_settings;
    QString m_out, m_err;

    QString path(const QString& name) const { return m_dir->filePath(name); }

    int run(const QString& args, const QString& input = {}) {
        m_out = m_err = {};
        QString in = input;
        QTextStream out(&m_out), err(&m_err), inStream(&in);
        return RunDbTool(args.split(u' ', Qt::SkipEmptyParts), DbToolStreams{&out, &err, &inStream},
                         path(u"zalpos"_s), m_dir->path());
    }

    // Opened on first use: only then does the file appear.
    Database& db() {
        if (!m_db && QDir().mkpath(path(u"db"_s)))
            m_db = std::make_unique<Database>(u"check"_s);
        if (!m_db->isOpen() && !m_db->open(m_settings))
            qWarning("the test's own connection failed");
        return *m_db;
    }

    // Statements separated by ';': "init" runs the tool's init; "line M S A" inserts a line of
    // monitor M in status S written A seconds ago (or NULL).
    bool exec(const QString& statements) {
        for (QString sql : statements.split(u';', Qt::SkipEmptyParts)) {
            const QStringList f = sql.split(u' ');
            const QDateTime time = QDateTime::currentDateTime().addSecs(-f.value(3).toInt());
            if (f[0] == u"line")
                sql = u"INSERT INTO ordisp (monitornr, status, insdate) VALUES (%1, %2, %3)"_s.arg(
                    f[1], f[2], f[3] == u"NULL" ? f[3] : time.toString(u"''yyyy-MM-dd HH:mm:ss''"_s));
            if (sql == u"init" ? run(sql) != 0 : !db().exec(sql))
                return false;
        }
        return true;
    }

    // The first column of every row, joined by blanks.
    QString values(const QString& sql) {
        ResultData data;
        QStringList values;
        for (const ResultRow& row : db().select(sql, &data) ? data.rows : QList<ResultRow>{{u"(failed)"_s}})
            values << row.value(0).toString();
        return values.join(u' ');
    }

private Q_SLOTS:
    void initTestCase_data() {
        QTest::addColumn<bool>("server");
        QTest::newRow("file") << false;
        QTest::newRow("server") << true;
    }

    void init() {
        QFETCH_GLOBAL(bool, server);
        m_db.reset();
        m_role.reset();
        m_dir = std::make_unique<QTemporaryDir>();
        // The file's folder is not there yet: init makes it.
        m_settings = {kDbTypeJet, {}, {}, {}, path(u"db/ZALPOS.MDB"_s), true};
        QByteArray ini = "TYP=MS-JET\n[PFADE]\nDATENBANK=" + path(u"db"_s).toUtf8();
        if (server) {
            ORDISP_REQUIRE_PG(m_cluster);
            m_role = std::make_unique<ScratchRole>(m_cluster, u"kitchen_tool"_s, u"Abend 24"_s);
            QVERIFY2(m_role->isValid(), qPrintable(m_role->errorText()));
            m_settings = m_role->settings();
            ini = "TYP=MS-SQL\nSERVER=" + m_cluster.dsn().toUtf8() + "\nUSER=kitchen_tool\nPWD=Abend 24";
        }
        QFile file(ConfigFilePath(path(u"zalpos"_s)));
        QVERIFY(QDir().mkpath(path(u"zalpos"_s)) && file.open(QIODevice::WriteOnly));
        file.write("[DATABASE]\n" + ini + "\n");
    }

    void commands_data() {
        QTest::addColumn<QString>("args");   // standard input after '<'
        QTest::addColumn<QString>("before"); // see exec()
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // a pattern in what the tool printed, both streams
        QTest::addColumn<QString>("check");  // what the database then holds
        QTest::addColumn<QString>("value");
        const auto row = [](const char* name, const QString& args, const char* before, int exitCode,
                            const QString& output, const char* check = "", const char* value = "") {
            QTest::newRow(name) << args << before << exitCode << output << check << value;
        };
        // clang-format off
        const char* count = "SELECT COUNT(*) FROM ordisp";
        row("usage", "", "", 2, "Aufruf: ordisp-db <Befehl>");
        row("help", "--help", "", 0, "status            zeigt je Monitor");
        row("unknown command", "drop", "", 2, "unbekannter Befehl 'drop'");
        row("command help", "status -h", "", 0, "Aufruf: ordisp-db status .*\n  --monitor <N>  Nur dieser Monitor.");
        row("unknown option", "add --colour", "", 2, "ordisp-db add: unbekannte Option '--colour' \\('ordisp-db add --help' zeigt die Optionen\\)");
        row("unknown options", "status -x --colour", "", 2, "ordisp-db status: unbekannte Optionen '-x', '--colour'");
        row("missing value", "status --monitor", "", 2, "nach '--monitor' fehlt der Wert");
        row("unexpected value", "simulate --advance=ja", "", 2, "'--advance' nimmt keinen Wert");
        row("option twice", "status --monitor 1 --monitor=2", "", 2, "die Option '--monitor <N>' ist mehrfach angegeben");
        row("argument", "init jetzt", "", 2, "unerwartetes Argument 'jetzt'");
        row("monitor as word", "status --monitor sieben", "", 2, "--monitor erwartet eine ganze Zahl von 0 bis 2147483647, nicht 'sieben'");
        row("negative monitor", "status --monitor -1", "", 2, "nicht '-1'");
        row("status", "status", "init;line 10 0 3000;line 10 1 3300;line 10 2 7200;line 2 NULL 5400;line 2 3 59;line NULL 1 90061;line 0 2 60", 0, "^Monitor     NEU    i.A.      OK  andere  älteste offene Zeile\n      0       0       0       1       0  -\n      2       0       0       0       2  1:30:0\\d\n     10       1       1       1       0  0:55:0\\d\n   ohne       0       1       0       0  25:01:0\\d\n$");
        row("status of lines without a time or ahead", "status", "init;line 1 0 NULL;line 2 0 -30", 0, "\n      1       1       0       0       0  -\n      2       1       0       0       0  0:00:00\n$");
        row("status of no lines", "status", "init", 0, "^Keine Bestellzeilen.\n$");
        row("status of a monitor", "status --monitor 2", "init;line 1 0 60;line 2 0 120;line 2 1 60", 0, "Zeile\n      2       1       1       0       0  0:02:0\\d\n$");
        row("status of a monitor without lines", "status --monitor 5", "init;line 1 0 60", 0, "Zeile\n      5       0       0       0       0  -\n$");
        row("status without tables", "status", "", 1, "Verbindung zur Datenbank fehlgeschlagen|ordisp-db status: ");
        row("init", "init", "", 0, "Angelegt: Tabelle ordisp\n", "SELECT COUNT(*) FROM system", "1");
        row("init again", "init", "init;INSERT INTO ordisp (monitornr, txt) VALUES (1, 'Suppe')", 0, "^Alle Tabellen und Spalten sind schon vorhanden.\n$", "SELECT (SELECT COUNT(*) FROM system) || txt FROM ordisp", "1Suppe");
        row("init completes the columns", "init", "CREATE TABLE ordisp (id INTEGER PRIMARY KEY, monitornr INTEGER, tisch INTEGER, gang INTEGER, txt VARCHAR(255), status INTEGER, insdate TIMESTAMP);INSERT INTO ordisp (id, monitornr, txt) VALUES (1, 1, 'Suppe')", 0, "Angelegt: Spalte ordisp.gast\nAngelegt: Spalte ordisp.menge\n", "SELECT txt FROM ordisp", "Suppe");
        row("file only: init without key", "init", "CREATE TABLE ordisp (monitornr INTEGER, tisch INTEGER, gang INTEGER, gast INTEGER, menge REAL, txt VARCHAR(255), status INTEGER, insdate TIMESTAMP)", 1, "fehlt die Schlüsselspalte 'id'", count, "0");
        row("add", "add --monitor 2 --table 12 --course 1 --guest 3 --qty 1,5 --text Flädle'suppe", "init", 0, "^$", "SELECT monitornr || ' ' || tisch || ' ' || gang || ' ' || gast || ' ' || menge || ' ' || txt || ' ' || status FROM ordisp WHERE insdate IS NOT NULL", "2 12 1 3 1.5 Flädle'suppe 0");
        row("add without text", "add --monitor 1 --table 4 --course 1 --guest 1 --qty 1", "init", 2, "--text fehlt", count, "0");
        row("add with a table as word", "add --monitor 1 --table vier --course 1 --guest 1 --qty 1 --text x", "init", 2, "--table erwartet eine ganze Zahl von -2147483648 bis 2147483647, nicht 'vier'", count, "0");
        row("add with a negative monitor", "add --monitor -1 --table 4 --course 1 --guest 1 --qty 1 --text x", "init", 2, "--monitor erwartet eine ganze Zahl von 0 bis 2147483647, nicht '-1'", count, "0");
        row("add with a quantity as word", "add --monitor 1 --table 4 --course 1 --guest 1 --qty viel --text x", "init", 2, "--qty erwartet eine Zahl, nicht 'viel'", count, "0");
        row("add without database", "add --monitor 1 --table 4 --course 1 --guest 1 --qty 1 --text x", "", 1, "Verbindung zur Datenbank fehlgeschlagen|ordisp-db add: ");
        row("password", "encode-password <Geheim;}=ä\r\n", "", 0, "");
        row("empty password", "encode-password <\n", "", 2, "kein Kennwort gelesen");
        row("character beyond Windows-1252", "encode-password <Ωmega\n", "", 1, "das Zeichen 'Ω' hat keinen Code in Windows-1252");
        row("character beyond 16 bits", "encode-password <Suppe\U0001F35C\n", "", 1, "das Zeichen '\U0001F35C' hat keinen Code");
        row("102 characters", "encode-password <" + QString(102, u'x') + u'\n', "", 1, "das Kennwort hat 102 Zeichen, codiert werden höchstens 101 Zeichen.");
        // The kitchen moves the older half of each status on, per monitor, before the first order.
        row("simulate", "simulate --monitors=2,1,2 --rate 2,5 --duration 1 --advance --seed 3", "init;line 1 0 1800;line 1 0 3000;line 1 0 2400;line 1 1 2100;line 1 1 3300;line 1 2 3540;line 1 2 3420;line 1 2 3480;line 1 3 3600;line 1 NULL 3600;line 2 0 3600", 0, "beendet nach 1 s. Bestellungen 1,.*2.5 Bestellungen pro Minute für Monitor 2, 1, mit Weiterschalten, 1 s lang; Startwert 3", "SELECT COALESCE(status, -1) FROM ordisp WHERE id < 12 ORDER BY id", "0 1 1 1 2 2 3 -1 1");
        // Cut to 32 bits, the oldest line's id would name line 7, which would be moved on twice.
        row("file only: simulate leaves ids beyond 32 bits", "simulate --rate 2,5 --duration 1 --advance", "init;INSERT INTO ordisp (id, monitornr, status, insdate) VALUES (4294967303, 1, 0, '2024-05-10 18:00:00');INSERT INTO ordisp (id, monitornr, status, insdate) VALUES (7, 1, 0, '2024-05-10 18:30:00');INSERT INTO ordisp (id, monitornr, status, insdate) VALUES (8, 1, 0, '2024-05-10 18:40:00')", 0, "weitergeschaltet 1, gelöscht 0, Fehler 0", "SELECT status FROM ordisp WHERE id IN (7, 8, 4294967303) ORDER BY id", "1 0 0");
        row("simulate on a table short of columns", "simulate --duration 1", "CREATE TABLE ordisp (id INTEGER PRIMARY KEY, monitornr INTEGER, txt VARCHAR(255))", 1, "ordisp-db simulate: Der Tabelle 'ordisp' fehlen die Spalten tisch, gang, gast, menge, status, insdate. Mit 'ordisp-db init'");
        row("monitor list with a gap", "simulate --monitors 1,,2", "", 2, "--monitors erwartet Monitornummern von 0 bis 2147483647, nicht '1,,2'");
        row("negative monitor in the list", "simulate --monitors -1", "", 2, "nicht '-1'");
        row("monitor beyond 32 bits", "simulate --monitors 2147483648", "", 2, "nicht '2147483648'");
        row("rate zero", "simulate --rate 0", "", 2, "--rate erwartet eine Zahl größer als 0 und höchstens 600, nicht '0'");
        row("rate as word", "simulate --rate schnell", "", 2, "nicht 'schnell'");
        row("infinite rate", "simulate --rate inf", "", 2, "nicht 'inf'");
        row("rate too high", "simulate --rate 601", "", 2, "nicht '601'");
        row("negative duration", "simulate --duration -5", "", 2, "--duration erwartet Sekunden von 0 bis 2147483647, nicht '-5'");
        row("fractional duration", "simulate --duration 1.5", "", 2, "nicht '1.5'");
        row("negative seed", "simulate --seed -1", "", 2, "--seed erwartet eine ganze Zahl von 0 bis 4294967295, nicht '-1'");
        row("seed beyond 32 bits", "simulate --seed 4294967296", "", 2, "nicht '4294967296'");
        // clang-format on
    }

    void commands() {
        QFETCH(QString, args);
        QFETCH(QString, before);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(QString, check);
        QFETCH(QString, value);
        if (m_role && QByteArray(QTest::currentDataTag()).startsWith("file only"))
            QSKIP("a case of the file alone");
        QVERIFY(exec(before));
        const QString input = args.section(u'<', 1);
        QCOMPARE(run(args.section(u'<', 0, 0), input), exitCode);
        const QRegularExpression pattern(output, QRegularExpression::DotMatchesEverythingOption);
        QVERIFY2(pattern.match(m_out + m_err).hasMatch(), qPrintable(m_out + m_err));
        // A refusal or failure leaves no result on standard output, where a script would take it.
        if (exitCode != 0)
            QVERIFY2(m_out.isEmpty(), qPrintable(m_out));
        if (!check.isEmpty())
            QCOMPARE(values(check), value);
        // What encode-password prints is what the display decodes.
        if (exitCode == 0 && !input.isEmpty())
            QCOMPARE(DecodePassword(m_out.trimmed()), input.trimmed());
    }

    void stopsOnSignal_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl-C") << SIGINT;
        QTest::newRow("terminate") << SIGTERM;
        QTest::newRow("hang-up") << SIGHUP;
    }

    // The built tool, interrupted while busy: the insert under way is finished, the summary counts it.
    void stopsOnSignal() {
        QFETCH(int, signal);
        QVERIFY(exec(u"init"_s));
        qputenv("XDG_CONFIG_HOME", m_dir->path().toUtf8());
        QProcess tool;
        tool.setReadChannel(QProcess::StandardError);
        tool.start(QString::fromUtf8(ORDISP_DB_TOOL), {u"simulate"_s, u"--rate"_s, u"600"_s, u"--advance"_s});
        QByteArray progress;
        while (progress.count('\n') < 4 && tool.waitForReadyRead(20000))
            progress += tool.readAllStandardError();
        QCOMPARE(::kill(static_cast<pid_t>(tool.processId()), signal), 0);
        QVERIFY(tool.waitForFinished(20000) && tool.exitStatus() == QProcess::NormalExit &&
                tool.exitCode() == 0);
        const QString summary = QString::fromUtf8(tool.readAllStandardOutput());
        const int lines = number(summary, u"Zeilen"_s) - number(summary, u"gelöscht"_s);
        QVERIFY2(lines > 0, qPrintable(summary));
        QCOMPARE(values(u"SELECT COUNT(*) FROM ordisp"_s), QString::number(lines));
    }

    void simulation_data() {
        QTest::addColumn<bool>("advance");
        QTest::addColumn<bool>("tables");
        QTest::newRow("for a minute") << false << true;
        QTest::newRow("with the kitchen at work") << true << true;
        QTest::newRow("without tables") << false << false;
    }

    // On a pinned clock that each wait moves to its deadline.
    void simulation() {
        QFETCH(bool, advance);
        QFETCH(bool, tables);
        QVERIFY(exec(tables ? u"init"_s : QString()));
        FixedClock clock(kStart);
        const StopAwareWait wait = [&clock](const QDateTime& deadline) {
            clock.set(std::max(deadline, clock.now()));
            return true;
        };
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        const auto simulate = [&] {
            out = err = QString();
            clock.set(kStart);
            return RunSimulation(db(), {{1, 2}, 6.0, advance, tables ? 60 : 0, 5}, clock, wait,
                                 {&outStream, &errStream});
        };
        QCOMPARE(simulate(), tables ? 0 : 1);
        // After the opening line one line per order or failure; five failures in a row end the run.
        const int orders = number(out, u"Bestellungen"_s), failures = number(out, u"Fehler"_s);
        QCOMPARE(err.count(u"Datenbankfehler"_s), tables ? 0 : 5);
        QCOMPARE(failures, tables ? 0 : 5);
        QCOMPARE(err.count(u"simulate: "_s), 1 + orders + failures + (tables ? 0 : 1));
        if (!tables)
            return;
        // Every line the summary counts is there, written inside the minute as an order of one to six
        // guests with up to four courses at one of 24 tables, all new unless the kitchen works along.
        const int lines = number(out, u"Zeilen"_s) - qMax(0, number(out, u"gelöscht"_s));
        QCOMPARE(number(out, u"beendet nach"_s), 60);
        QVERIFY2(orders >= 60 / 16 && orders <= 60 / 4 + 1, qPrintable(out));
        const QString shape =
            u"SELECT COUNT(DISTINCT status) || ' ' || COUNT(*) || ' ' || (SELECT COUNT(*) FROM ordisp) FROM "
            "ordisp WHERE monitornr IN (1, 2) AND insdate >= '2024-05-10 18:00:00' AND insdate < "
            "'2024-05-10 18:01:00' AND gang BETWEEN 1 AND 4 AND gast BETWEEN 1 AND 6 AND tisch BETWEEN 1 "
            "AND 24 AND menge IN (1, 2)"_s;
        QCOMPARE(values(shape), u"%1 %2 %2"_s.arg(advance ? 3 : 1).arg(lines));
        if (!advance) {
            // The same seed repeats the run: every line comes twice.
            QCOMPARE(simulate(), 0);
            QCOMPARE(
                values(u"SELECT COUNT(*) FROM (SELECT COUNT(*) AS n FROM ordisp GROUP BY tisch, gang, gast, "
                       "menge, txt, insdate) AS t WHERE n % 2 = 1"_s),
                u"0"_s);
            return;
        }
        // A line a cook changed since the simulator read it stays as the cook left it.
        const QString statuses = values(u"SELECT status FROM ordisp ORDER BY id"_s);
        const int done = values(u"SELECT MIN(id) FROM ordisp WHERE status = 2"_s).toInt();
        const int inWork = values(u"SELECT MIN(id) FROM ordisp WHERE status = 1"_s).toInt();
        QVERIFY(db().exec(StatusSql::advanceStatus(done, StatusNew, StatusInProgress)));
        QVERIFY(db().exec(StatusSql::deleteDoneOrder(inWork)));
        QCOMPARE(values(u"SELECT status FROM ordisp ORDER BY id"_s), statuses);
    }

    // Arrivals spread evenly around the mean, so that the rate holds over a longer run.
    void intervals() {
        OrderGenerator generator(42);
        double sum = 0;
        for (int i = 0; i < 5000; ++i)
            sum += generator.nextInterval(6.0);
        QVERIFY2(qAbs(sum / 5000 - 10.0) < 0.3, qPrintable(QString::number(sum / 5000)));
    }
};

QTEST_GUILESS_MAIN(TestDbTool)
#include "tst_dbtool.moc"
