#include "Display.h"
#include "InstanceGuard.h"

#include <QRegularExpression>
#include <QtTest>

namespace ordisp {

namespace {

// Messages as "style text", '*' for the driver's own words; {...} as TestStartup::start fills in:
// {tmp} is the start's folder, with config/zalpos/ZALPOS.INI, bin (the program's) and cwd (working).
// clang-format off
const QString kNoConnection = "16 Die Verbindung zur Datenbank 'zalpos' konnte nicht hergestellt werden.\r\n\r\nFehler: *";
const QString kNotFound = "64 Die Datenbank 'zalpos' auf Server '%1' wurde nicht gefunden. ";
const QString kUseFile = "52 Die Datenbank wurde nicht im konfigurierten Verzeichnis gefunden. Es wird die Datenbank %1/ZALPOS.MDB verwendet. Soll diese Einstellung dauerhaft gespeichert werden ?";
const QString kFailed = "16 Unerwarteter Fehler beim Programmstart: ";
const QString kNoDatabase = "16 Die Datenbank konnte nicht geöffnet werden. Das Programm wird daher beendet.\r\n\r\nStarten Sie das Programm neu, nachdem Sie den Fehler beseitigt haben. Nachfolgend finden Sie hierzu nähere Informationen.\r\n\r\nFehler-Beschreibung: *\r\n\r\nFehler-Nr.: *\r\nFehler-Quelle: QSQLITE";
// clang-format on

bool Matches(const QString& text, const QString& pattern) {
    const QString expression = QRegularExpression::escape(pattern).replace("\\*", ".*");
    return QRegularExpression("\\A" + expression + "\\z", QRegularExpression::DotMatchesEverythingOption)
        .match(text)
        .hasMatch();
}

struct Guard final : InstanceGuard {
    bool first = true; // false: another display runs
    bool acquire() override { return first; }
    void activateRunning() override {}
};

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase_data() { AddBackends(); }
    void init() { ORDISP_REQUIRE_BACKEND(); }
    void start_data();
    void start();
};

void TestStartup::start_data() {
    QTest::addColumn<QString>("only");         // the back end the row is for; empty for both
    QTest::addColumn<QString>("ini");          // ZALPOS.INI; none when empty
    QTest::addColumn<QStringList>("arrange");  // SQL on the database, or what else differs
    QTest::addColumn<QStringList>("messages"); // shown, in order
    QTest::addColumn<QString>("outcome");      // the date literals' style when started, else the exit code
    QTest::addColumn<int>("trueValue");        // the server's TRUE, when started
    QTest::addColumn<QString>("stored");       // ZALPOS.INI afterwards, lines ending in LF
    QTest::addColumn<QString>("left");         // the lines' texts afterwards
    const QString jet = "[DATABASE]\nTYP=MS-JET\n[PFADE]\nDATENBANK={tmp}/weg\n";
    const QString server = "[DATABASE]\nTYP=MS-SQL\nSERVER={server}\nUSER={user}\n";
    const QStringList none;
    // A start purges the done lines of earlier days; read month first, today would be 5 October.
    // clang-format off
    const QString line = "INSERT INTO ordisp (monitornr, status, txt, insdate) VALUES (%1, %2, '%3', %4)";
    const QStringList lines{line.arg(1).arg(2).arg("done yesterday", "'2024-05-09 23:59:59'"), line.arg(1).arg(2).arg("done today", "'2024-05-10 00:00:00'"), line.arg(7).arg(2).arg("done, another monitor", "'2024-05-09 08:00:00'"), line.arg(1).arg(0).arg("new, old", "'2023-01-01 08:00:00'"), line.arg(1).arg(1).arg("in progress, old", "'2023-01-01 08:00:00'"), line.arg(1).arg(2).arg("done, no time", "NULL"), line.arg(1).arg(2).arg("done in June", "'2024-06-01 08:00:00'")};
    QTest::newRow("a start") << "" << "{db}[ORDISP]\nORDISPNR=3\n" << lines << none << "D" << -1 << "*ORDISPNR=3\n*" << "done today | new, old | in progress, old | done, no time | done in June";
    QTest::newRow("no ZALPOS.INI") << "" << "" << none << QStringList{kNoConnection, kNotFound.arg("<NAME>\\SQLEXPRESS")} << "exit 1" << 0 << "[ORDISP]\nLEFT=0\nWIDTH=1024\nHEIGHT=768\nORDISPNR=1\n\n[DATABASE]\nTYP=MS-SQL\nSERVER=<NAME>\\SQLEXPRESS\nUSER=sa\nPWD=\nPWDC=\nJET-PROVIDER=4.0\n\n[PFADE]\nDATENBANK={tmp}/bin\nEXE={tmp}/bin/\nTRESK=C:\\Programme\\Tresk\\Tresk\\\n" << "";
    QTest::newRow("another display runs") << "" << "{db}" << QStringList{"running"} << QStringList{"64 Programm läuft bereits."} << "exit 0" << 0 << "{db}" << "";
    QTest::newRow("a number beyond 32 bits") << "" << "[ORDISP]\nWIDTH=99999999999\n" << none << QStringList{kFailed + "Überlauf (Fehler 6): der Wert von [ORDISP] WIDTH=99999999999 in {tmp}/config/zalpos/ZALPOS.INI liegt außerhalb von -2147483648 bis 2147483647. Tragen Sie dort eine ganze Zahl in diesem Bereich ein."} << "exit 1" << 0 << "[ORDISP]\nWIDTH=99999999999\nLEFT=0\n" << "";
    QTest::newRow("ZALPOS.INI a folder") << "" << "" << QStringList{"ini folder"} << QStringList{kFailed + "Die Konfigurationsdatei {tmp}/config/zalpos/ZALPOS.INI kann nicht gelesen werden (ein Verzeichnis steht an ihrer Stelle)."} << "exit 1" << 0 << "" << "";
    QTest::newRow("date probes refused") << "" << "{db}" << QStringList{"ALTER TABLE system RENAME COLUMN moddate TO geaendert"} << QStringList{"16 Unbekanntes Datumsformat oder kein Schreibzugriff auf die Datenbank !"} << "E" << -1 << "" << "";
    QTest::newRow("TYP not quite MS-SQL") << "file" << "[DATABASE]\nTYP=ms-sql\n[PFADE]\nDATENBANK={folder}\n" << none << none << "D" << 0 << "[DATABASE]\nTYP=ms-sql\nJET-PROVIDER=4.0\n[PFADE]*" << "";
    QTest::newRow("file beside the program, kept") << "file" << jet << QStringList{"copy {tmp}/bin"} << QStringList{kUseFile.arg("{tmp}/bin")} << "D" << 0 << "*DATENBANK={tmp}/bin\n*" << "";
    QTest::newRow("file beside the program, not kept") << "file" << jet << QStringList{"copy {tmp}/bin", "answer no"} << QStringList{kUseFile.arg("{tmp}/bin")} << "D" << 0 << "*DATENBANK={tmp}/weg\n*" << "";
    QTest::newRow("file in the working folder") << "file" << jet << QStringList{"copy {tmp}/cwd"} << QStringList{kUseFile.arg("{tmp}/cwd")} << "D" << 0 << "*DATENBANK={tmp}/cwd\n*" << "";
    QTest::newRow("file nowhere") << "file" << jet << none << QStringList{"48 Die Datenbank wurde nicht im konfigurierten Verzeichnis {tmp}/weg/ZALPOS.MDB gefunden. \r\n\r\nBitte stellen Sie den Pfad zur Datei ZALPOS.MDB in {tmp}/config/zalpos/ZALPOS.INI ein."} << "exit 1" << 0 << "" << "";
    QTest::newRow("file not a database") << "file" << "{db}" << QStringList{"write Standard Jet DB"} << QStringList{kNoDatabase} << "exit 1" << 0 << "" << "";
    QTest::newRow("file empty") << "file" << "{db}" << QStringList{"write "} << QStringList{kNoDatabase} << "exit 1" << 0 << "" << "";
    QTest::newRow("file without the order table") << "file" << "{db}" << QStringList{"DROP TABLE ordisp"} << QStringList{kNoDatabase} << "exit 1" << 0 << "" << "";
    QTest::newRow("login refused") << "server" << server + "PWD=falsch\n" << none << QStringList{kNoConnection + "password authentication failed*", kNotFound.arg("{server}")} << "exit 1" << 0 << "" << "";
    QTest::newRow("no such data source") << "server" << "[DATABASE]\nTYP=MS-SQL\nSERVER=ordisp_keine_quelle\n" << none << QStringList{kNoConnection, kNotFound.arg("ordisp_keine_quelle")} << "exit 1" << 0 << "" << "";
    QTest::newRow("password naming attributes") << "server" << server + "PWD=x;DATABASE=postgres;UID=ordisp\n" << QStringList{"ALTER ROLE CURRENT_USER PASSWORD 'x;DATABASE=postgres;UID=ordisp'"} << none << "D" << -1 << "" << "";
    QTest::newRow("dates month first") << "server" << "{db}" << QStringList{"ALTER ROLE CURRENT_USER SET DateStyle = 'ISO, MDY'"} + lines << none << "E" << -1 << "" << "done today | new, old | in progress, old | done, no time | done in June";
    QTest::newRow("booltest refuses -1") << "server" << "{db}" << QStringList{"ALTER TABLE system ADD CONSTRAINT positive CHECK (booltest >= 0)"} << QStringList{"16 BoolTest-Fehler (3): *positive*"} << "D" << 1 << "" << "";
    QTest::newRow("booltest a boolean") << "server" << "{db}" << QStringList{"ALTER TABLE system ALTER COLUMN booltest TYPE boolean USING booltest <> 0"} << QStringList{"16 BoolTest-Fehler (1): *boolean*", "16 BoolTest-Fehler (2): *boolean*", "16 BoolTest-Fehler (3): *boolean*", "16 Boolean-TRUE-Wert konnte nicht ermittelt werden."} << "exit 1" << 0 << "" << "";
    // clang-format on
}

void TestStartup::start() {
    QFETCH(QString, only);
    QFETCH(QString, ini);
    QFETCH(QStringList, arrange);
    QFETCH(QStringList, messages);
    QFETCH(QString, outcome);
    QFETCH(int, trueValue);
    QFETCH(QString, stored);
    QFETCH(QString, left);
    if (!only.isEmpty() && only != CurrentBackend())
        QSKIP("for the other back end");
    Display d;
    QVERIFY2(d.errorText().isEmpty(), qPrintable(d.errorText()));
    const auto expand = [&](QString text) {
        return text.replace("{db}", d.databaseLines())
            .replace("{tmp}", d.config.folder())
            .replace("{folder}", d.file ? d.file->folder() : QString())
            .replace("{server}", Display::cluster().dsn())
            .replace("{user}", d.role ? d.role->name() : QString());
    };
    Guard guard;
    for (const QString& step : arrange) {
        if (step == "running")
            guard.first = false;
        else if (step == "answer no")
            d.messages.setNextAnswer(AnswerNo);
        else if (step == "ini folder")
            QVERIFY(QDir().mkpath(d.config.iniPath()));
        else if (step.startsWith("write ")) {
            QFile file(d.file->path());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(step.mid(6).toUtf8()) >= 0);
        } else if (step.startsWith("copy "))
            QVERIFY(QFile::copy(d.file->path(), expand(step.mid(5)) + "/ZALPOS.MDB"));
        else
            QVERIFY2(d.exec(step), qPrintable(d.errorText()));
    }
    if (!ini.isEmpty())
        d.config.write(expand(ini).toUtf8());
    d.outcome = d.config.run(d.messages, d.clock.now(), &guard);

    QStringList shown;
    for (const RecordingMessageSink::Entry& entry : d.messages.shown())
        shown << QString::number(entry.style) + ' ' + entry.text;
    QCOMPARE(shown.size(), messages.size());
    for (int i = 0; i < shown.size(); ++i)
        QVERIFY2(Matches(shown.at(i), expand(messages.at(i))), qPrintable(shown.at(i)));
    const bool started = d.outcome.showMainWindow;
    QCOMPARE(started ? d.outcome.db->dateLiteralStyle() : "exit " + QString::number(d.outcome.exitCode),
             outcome);
    QCOMPARE(started && d.role ? int(d.outcome.db->trueValue()) : trueValue, trueValue);
    ResultData rows;
    QStringList texts;
    if (!left.isEmpty() && d.side().select("SELECT txt FROM ordisp ORDER BY id", &rows)) {
        for (const ResultRow& row : rows.rows)
            texts << row.first().toString();
    }
    QCOMPARE(texts.join(" | "), left);
    QFile file(d.config.iniPath());
    const QString text =
        file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).remove('\r') : QString();
    QVERIFY2(stored.isEmpty() || Matches(text, expand(stored)), qPrintable(text));
}

} // namespace ordisp

QTEST_MAIN(ordisp::TestStartup)
#include "tst_startup.moc"
