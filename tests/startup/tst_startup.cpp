#include "Display.h"
#include "InstanceGuard.h"

#include <QRegularExpression>
#include <QtTest>

namespace ordisp {

namespace {

// Messages as "style text", '*' for the driver's own words; {...} as TestStartup::start fills in.
const QString kNoConnection =
    "16 Die Verbindung zur Datenbank 'zalpos' konnte nicht hergestellt werden.\r\n\r\nFehler: *";
const QString kNotFound = "64 Die Datenbank 'zalpos' auf Server '%1' wurde nicht gefunden. ";
const QString kDateUnknown = "16 Unbekanntes Datumsformat oder kein Schreibzugriff auf die Datenbank !";
const QString kNoFile =
    "48 Die Datenbank wurde nicht im konfigurierten Verzeichnis {missing}/ZALPOS.MDB gefunden. "
    "\r\n\r\nBitte stellen Sie den Pfad zur Datei ZALPOS.MDB in {ini} ein.";
const QString kUseFile =
    "52 Die Datenbank wurde nicht im konfigurierten Verzeichnis gefunden. Es wird die Datenbank "
    "%1/ZALPOS.MDB verwendet. Soll diese Einstellung dauerhaft gespeichert werden ?";
const QString kNoDatabase =
    "16 Die Datenbank konnte nicht geöffnet werden. Das Programm wird daher beendet.\r\n\r\n"
    "Starten Sie das Programm neu, nachdem Sie den Fehler beseitigt haben. Nachfolgend "
    "finden Sie hierzu nähere Informationen.\r\n\r\nFehler-Beschreibung: *\r\n\r\n"
    "Fehler-Nr.: *\r\nFehler-Quelle: QSQLITE";
const QString kFailed = "16 Unerwarteter Fehler beim Programmstart: ";
const QString kDefaults = "[ORDISP]\nLEFT=0\nWIDTH=1024\nHEIGHT=768\nORDISPNR=1\n\n[DATABASE]\nTYP=MS-SQL\n"
                          "SERVER=<NAME>\\SQLEXPRESS\nUSER=sa\nPWD=\nPWDC=\nJET-PROVIDER=4.0\n\n[PFADE]\n"
                          "DATENBANK={exe}\nEXE={exe}/\nTRESK=C:\\Programme\\Tresk\\Tresk\\\n";

bool Matches(const QString& text, const QString& pattern) {
    const QString expression =
        QRegularExpression::escape(pattern).replace(QLatin1String("\\*"), QLatin1String(".*"));
    return QRegularExpression(QRegularExpression::anchoredPattern(expression),
                              QRegularExpression::DotMatchesEverythingOption)
        .match(text)
        .hasMatch();
}

struct AnotherRuns final : InstanceGuard {
    bool acquire() override { return false; }
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
    void purgeAroundMidnight();
};

void TestStartup::start_data() {
    QTest::addColumn<QString>("only");         // the back end the row is for; empty for both
    QTest::addColumn<QString>("ini");          // ZALPOS.INI; none when empty
    QTest::addColumn<QStringList>("arrange");  // SQL on the database, or what else differs
    QTest::addColumn<QStringList>("messages"); // shown, in order
    QTest::addColumn<int>("exitCode");         // -1: the main window shows
    QTest::addColumn<QString>("style");        // of the date literals, when started
    QTest::addColumn<int>("trueValue");        // the server's TRUE, when started
    QTest::addColumn<QString>("stored");       // ZALPOS.INI afterwards, lines ending in LF
    const QString jet = "[DATABASE]\nTYP=MS-JET\n[PFADE]\nDATENBANK={missing}\n";
    const QString server = "[DATABASE]\nTYP=MS-SQL\nSERVER={server}\nUSER={user}\n";
    const QStringList none;
    // clang-format off
    QTest::newRow("a start") << "" << "{db}[ORDISP]\nORDISPNR=3\n" << none << none << -1 << "D" << -1 << "*ORDISPNR=3\n*";
    QTest::newRow("no ZALPOS.INI") << "" << "" << none << QStringList{kNoConnection, kNotFound.arg("<NAME>\\SQLEXPRESS")} << 1 << "" << 0 << kDefaults;
    QTest::newRow("another display runs") << "" << "{db}" << QStringList{"running"} << QStringList{"64 Programm läuft bereits."} << 0 << "" << 0 << "{db}";
    QTest::newRow("a number beyond 32 bits") << "" << "[ORDISP]\nWIDTH=99999999999\n" << none << QStringList{kFailed + "Überlauf (Fehler 6): der Wert von [ORDISP] WIDTH=99999999999 in {ini} liegt außerhalb von -2147483648 bis 2147483647. Tragen Sie dort eine ganze Zahl in diesem Bereich ein."} << 1 << "" << 0 << "[ORDISP]\nWIDTH=99999999999\nLEFT=0\n";
    QTest::newRow("ZALPOS.INI a folder") << "" << "" << QStringList{"ini folder"} << QStringList{kFailed + "Die Konfigurationsdatei {ini} kann nicht gelesen werden (ein Verzeichnis steht an ihrer Stelle)."} << 1 << "" << 0 << "";
    QTest::newRow("date probes refused") << "" << "{db}" << QStringList{"ALTER TABLE system RENAME COLUMN moddate TO geaendert"} << QStringList{kDateUnknown} << -1 << "E" << -1 << "";
    QTest::newRow("TYP not quite MS-SQL") << "file" << "[DATABASE]\nTYP=ms-sql\n[PFADE]\nDATENBANK={folder}\n" << none << none << -1 << "D" << 0 << "[DATABASE]\nTYP=ms-sql\nJET-PROVIDER=4.0\n[PFADE]*";
    QTest::newRow("file beside the program, kept") << "file" << jet << QStringList{"copy {exe}"} << QStringList{kUseFile.arg("{exe}")} << -1 << "D" << 0 << "*DATENBANK={exe}\n*";
    QTest::newRow("file beside the program, not kept") << "file" << jet << QStringList{"copy {exe}", "answer no"} << QStringList{kUseFile.arg("{exe}")} << -1 << "D" << 0 << "*DATENBANK={missing}\n*";
    QTest::newRow("file in the working folder") << "file" << jet << QStringList{"copy {cwd}"} << QStringList{kUseFile.arg("{cwd}")} << -1 << "D" << 0 << "*DATENBANK={cwd}\n*";
    QTest::newRow("file nowhere") << "file" << jet << none << QStringList{kNoFile} << 1 << "" << 0 << "";
    QTest::newRow("file no database") << "file" << "{db}" << QStringList{"write Standard Jet DB"} << QStringList{kNoDatabase} << 1 << "" << 0 << "";
    QTest::newRow("login refused") << "server" << server + "PWD=falsch\n" << none << QStringList{kNoConnection + "password authentication failed*", kNotFound.arg("{server}")} << 1 << "" << 0 << "";
    QTest::newRow("no such data source") << "server" << "[DATABASE]\nTYP=MS-SQL\nSERVER=ordisp_keine_quelle\n" << none << QStringList{kNoConnection, kNotFound.arg("ordisp_keine_quelle")} << 1 << "" << 0 << "";
    QTest::newRow("password naming attributes") << "server" << server + "PWD=x;DATABASE=postgres;UID=ordisp\n" << QStringList{"ALTER ROLE CURRENT_USER PASSWORD 'x;DATABASE=postgres;UID=ordisp'"} << none << -1 << "D" << -1 << "";
    QTest::newRow("dates month first") << "server" << "{db}" << QStringList{"ALTER ROLE CURRENT_USER SET DateStyle = 'ISO, MDY'"} << none << -1 << "E" << -1 << "";
    QTest::newRow("booltest refuses -1") << "server" << "{db}" << QStringList{"ALTER TABLE system ADD CONSTRAINT positive CHECK (booltest >= 0)"} << QStringList{"16 BoolTest-Fehler (3): *positive*"} << -1 << "D" << 1 << "";
    QTest::newRow("booltest a boolean") << "server" << "{db}" << QStringList{"ALTER TABLE system ALTER COLUMN booltest TYPE boolean USING booltest <> 0"} << QStringList{"16 BoolTest-Fehler (1): *boolean*", "16 BoolTest-Fehler (2): *boolean*", "16 BoolTest-Fehler (3): *boolean*", "16 Boolean-TRUE-Wert konnte nicht ermittelt werden."} << 1 << "" << 0 << "";
    // clang-format on
}

void TestStartup::start() {
    QFETCH(QString, only);
    QFETCH(QString, ini);
    QFETCH(QStringList, arrange);
    QFETCH(QStringList, messages);
    QFETCH(int, exitCode);
    QFETCH(QString, style);
    QFETCH(int, trueValue);
    QFETCH(QString, stored);
    if (!only.isEmpty() && only != CurrentBackend())
        QSKIP("for the other back end");
    Display d;
    QVERIFY2(d.errorText().isEmpty(), qPrintable(d.errorText()));
    const auto expand = [&](QString text) {
        return text.replace("{db}", d.databaseLines())
            .replace("{ini}", d.config.iniPath())
            .replace("{exe}", d.config.exeFolder())
            .replace("{cwd}", d.config.workFolder())
            .replace("{missing}", d.config.folder() + "/weg")
            .replace("{folder}", d.file() ? d.file()->folder() : QString())
            .replace("{server}", Display::cluster().dsn())
            .replace("{user}", d.role() ? d.role()->name() : QString());
    };
    AnotherRuns running;
    InstanceGuard* instance = nullptr;
    for (const QString& step : arrange) {
        QFile file(step.startsWith("write ") ? d.file()->path() : QString());
        if (step == "running")
            instance = &running;
        else if (step == "answer no")
            d.messages.setNextAnswer(AnswerNo);
        else if (step == "ini folder")
            QVERIFY(QDir().mkpath(d.config.iniPath()));
        else if (step.startsWith("write "))
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(step.mid(6).toUtf8()) > 0);
        else if (step.startsWith("copy "))
            QVERIFY(QFile::copy(d.file()->path(), expand(step.mid(5)) + "/ZALPOS.MDB"));
        else
            QVERIFY2(d.exec(step), qPrintable(d.errorText()));
    }
    if (!ini.isEmpty())
        d.config.write(expand(ini).toUtf8());
    d.outcome = d.config.run(d.messages, d.clock.now(), instance);

    QStringList shown;
    for (const RecordingMessageSink::Entry& entry : d.messages.shown())
        shown << QString::number(entry.style) + ' ' + entry.text;
    QCOMPARE(shown.size(), messages.size());
    for (int i = 0; i < shown.size(); ++i)
        QVERIFY2(Matches(shown.at(i), expand(messages.at(i))), qPrintable(shown.at(i)));
    QCOMPARE(d.outcome.showMainWindow ? -1 : d.outcome.exitCode, exitCode);
    if (d.outcome.showMainWindow) {
        QCOMPARE(d.outcome.db->dateLiteralStyle(), style);
        QCOMPARE(d.isServer() ? int(d.outcome.db->trueValue()) : trueValue, trueValue);
    }
    QFile file(d.config.iniPath());
    const QString text =
        file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).remove('\r') : QString();
    QVERIFY2(stored.isEmpty() || Matches(text, expand(stored)), qPrintable(text));
}

void TestStartup::purgeAroundMidnight() {
    Display d;
    const QDate today(2024, 5, 10);
    const QList<std::tuple<QString, int, int, QDateTime>> lines = {
        {"done yesterday 23:59:59", 1, 2, QDateTime(today.addDays(-1), QTime(23, 59, 59))},
        {"done today 00:00:00", 1, 2, QDateTime(today, QTime(0, 0))},
        {"done yesterday, another monitor", 7, 2, QDateTime(today.addDays(-1), QTime(8, 0))},
        {"new, old", 1, 0, QDateTime(QDate(2023, 1, 1), QTime(8, 0))},
        {"in progress, old", 1, 1, QDateTime(QDate(2023, 1, 1), QTime(8, 0))},
        {"done, no time", 1, 2, QDateTime()},
        // Read month first, today would be 5 October and take this one with it.
        {"done in June", 1, 2, QDateTime(QDate(2024, 6, 1), QTime(8, 0))},
    };
    for (const auto& [text, monitor, status, insdate] : lines)
        QVERIFY2(d.add({monitor, 4, 1, 1, 1.0, text, status, insdate}) > 0, qPrintable(d.errorText()));
    d.clock.set(QDateTime(today, QTime(0, 5)));
    QVERIFY2(d.startup(d.databaseLines()), qPrintable(d.errorText()));
    ResultData left;
    QVERIFY(d.side().select("SELECT txt FROM ordisp ORDER BY id", &left));
    QStringList texts;
    for (const ResultRow& row : left.rows)
        texts << row.value(0).toString();
    QCOMPARE(texts, (QStringList{"done today 00:00:00", "new, old", "in progress, old", "done, no time",
                                 "done in June"}));
}

} // namespace ordisp

QTEST_MAIN(ordisp::TestStartup)
#include "tst_startup.moc"
