#include "Database.h"
#include "DbHelpers.h"
#include "MessageSink.h"
#include "Password.h"
#include "Schema.h"
#include "ServerTestSupport.h"

#include <QtTest>

using namespace ordisp;

namespace {

const QString kPassword = QStringLiteral("Kuechen-Test 1");
const QString kBoolFailed = QStringLiteral("Boolean-TRUE-Wert konnte nicht ermittelt werden.");
const QString kDateUnknown =
    QStringLiteral("Unbekanntes Datumsformat oder kein Schreibzugriff auf die Datenbank !");

QStringList Texts(const RecordingMessageSink& messages) {
    QStringList texts;
    for (const RecordingMessageSink::Entry& entry : messages.shown())
        texts << QStringLiteral("[%1] %2").arg(entry.style).arg(entry.text);
    return texts;
}

} // namespace

class TestServerStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void dbToolInitCreatesTables();
    void startsOnServer();
    void dateProbe_data();
    void dateProbe();
    void booleanProbe_data();
    void booleanProbe();
    void purgeAroundMidnight_data();
    void purgeAroundMidnight();
    void passwords_data();
    void passwords();
    void wrongPassword();

private:
    PgCluster m_cluster;
    RecordingMessageSink m_messages;
};

void TestServerStartup::initTestCase() {
    ORDISP_REQUIRE_PG(m_cluster);
}

void TestServerStartup::init() {
    m_messages.clear();
}

void TestServerStartup::dbToolInitCreatesTables() {
    ScratchRole role(m_cluster, QStringLiteral("ordisp_t_init"), kPassword);
    QVERIFY2(role.isValid(), qPrintable(role.errorText()));
    QString output;
    QVERIFY2(role.initTables(&output), qPrintable(role.errorText()));
    QCOMPARE(output.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{"Angelegt: Tabelle ordisp", "Angelegt: Index ordisp_monitor_tisch",
                          "Angelegt: Tabelle system", "Angelegt: Zeile in system"}));
    // In the role's own schema, with the one row the probes need.
    QCOMPARE(role.scalar(QStringLiteral("SELECT count(*) FROM information_schema.tables WHERE table_schema = "
                                        "'ordisp_t_init' AND table_name IN ('ordisp', 'system')"))
                 .toInt(),
             2);
    QCOMPARE(role.scalar(QStringLiteral("SELECT count(*) FROM system")).toInt(), 1);

    // A second run finds everything in place and changes nothing.
    QVERIFY2(role.initTables(&output), qPrintable(role.errorText()));
    QVERIFY2(!output.contains(QLatin1String("Angelegt")), qPrintable(output));
    QCOMPARE(role.scalar(QStringLiteral("SELECT count(*) FROM system")).toInt(), 1);

    // Tables made without some columns get them; the rows stay, and get ids of their own.
    QVERIFY(
        role.exec(QStringLiteral("INSERT INTO ordisp (monitornr, txt) VALUES (1, 'Suppe'), (2, 'Salat')")));
    QVERIFY(role.exec(QStringLiteral("ALTER TABLE ordisp DROP COLUMN id")));
    QVERIFY(role.exec(QStringLiteral("ALTER TABLE ordisp DROP COLUMN gast")));
    QVERIFY(role.exec(QStringLiteral("ALTER TABLE system DROP COLUMN booltest")));
    QVERIFY2(role.initTables(&output), qPrintable(role.errorText()));
    QCOMPARE(output.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             (QStringList{"Angelegt: Spalte ordisp.id", "Angelegt: Spalte ordisp.gast",
                          "Angelegt: Spalte system.booltest"}));
    QCOMPARE(role.scalar(QStringLiteral("SELECT string_agg(txt, ',' ORDER BY monitornr) FROM ordisp "
                                        "WHERE id IS NOT NULL"))
                 .toString(),
             QStringLiteral("Suppe,Salat"));
    QVERIFY(role.exec(QStringLiteral("INSERT INTO ordisp (monitornr, gast) VALUES (3, 1)")));
    QCOMPARE(role.scalar(QStringLiteral("SELECT count(DISTINCT id) FROM ordisp")).toInt(), 3);
}

void TestServerStartup::startsOnServer() {
    ScratchRole role(m_cluster, QStringLiteral("ordisp_t_start"), kPassword);
    QVERIFY2(role.isValid() && role.initTables(), qPrintable(role.errorText()));
    ServerConfig config;
    config.write(m_cluster.dsn(), role.name(), {QStringLiteral("PWD=") + kPassword}, 3);

    const StartupOutcome outcome = config.run(m_messages, QDateTime(QDate(2024, 5, 10), QTime(12, 0)));
    QVERIFY2(m_messages.shown().isEmpty(), qPrintable(Texts(m_messages).join(QLatin1Char('\n'))));
    QVERIFY(outcome.showMainWindow);
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY(outcome.db && outcome.db->isOpen());
    QCOMPARE(outcome.db->type(), kDbTypeSql);
    QCOMPARE(outcome.config.monitorNr, 3);
    QVERIFY(outcome.db->dbmsName().contains(QLatin1String("PostgreSQL")));
    // Logged in as the configured user, not through anything the data source holds.
    ResultData who;
    QVERIFY(outcome.db->select(QStringLiteral("SELECT current_user"), &who));
    QCOMPARE(who.rows.value(0).value(0).toString(), role.name());
}

void TestServerStartup::dateProbe_data() {
    QTest::addColumn<QString>("dateStyle");
    QTest::addColumn<QString>("expectedStyle");
    QTest::addColumn<bool>("refused");
    // PostgreSQL reads day-first input only with DMY; '12/31/2000' only with MDY.
    QTest::newRow("ISO, MDY (the default)") << "ISO, MDY"
                                            << "E" << false;
    QTest::newRow("ISO, DMY") << "ISO, DMY"
                              << "D" << false;
    QTest::newRow("German, DMY") << "German, DMY"
                                 << "D" << false;
    QTest::newRow("SQL, DMY") << "SQL, DMY"
                              << "D" << false;
    QTest::newRow("ISO, YMD refuses both") << "ISO, YMD"
                                           << "E" << true;
}

void TestServerStartup::dateProbe() {
    QFETCH(QString, dateStyle);
    QFETCH(QString, expectedStyle);
    QFETCH(bool, refused);
    ScratchRole role(m_cluster, QStringLiteral("ordisp_t_date"), kPassword,
                     {QStringLiteral("DateStyle = ") + SqlText(dateStyle)});
    QVERIFY2(role.isValid() && role.initTables(), qPrintable(role.errorText()));
    ServerConfig config;
    config.write(m_cluster.dsn(), role.name(), {QStringLiteral("PWD=") + kPassword});

    const StartupOutcome outcome = config.run(m_messages, QDateTime(QDate(2024, 5, 10), QTime(12, 0)));
    QVERIFY(outcome.showMainWindow);
    QCOMPARE(outcome.db->dateLiteralStyle(), expectedStyle);
    if (refused) {
        QCOMPARE(Texts(m_messages), QStringList{QStringLiteral("[16] ") + kDateUnknown});
        return;
    }
    QVERIFY2(m_messages.shown().isEmpty(), qPrintable(Texts(m_messages).join(QLatin1Char('\n'))));
    QCOMPARE(role.scalar(QStringLiteral("SELECT to_char(moddate, 'YYYY-MM-DD HH24:MI:SS') FROM system"))
                 .toString(),
             QStringLiteral("2000-12-31 00:00:00"));

    // The literal the probe chose means the same day to this server: 10 May, not 5 October.
    const QString literal = SqlDate(QDate(2024, 5, 10), QStringLiteral("00:00:00"), outcome.db->type(),
                                    outcome.db->dateLiteralStyle());
    ResultData data;
    QVERIFY(outcome.db->select(
        QStringLiteral("SELECT to_char(CAST(%1 AS timestamp), 'YYYY-MM-DD HH24:MI:SS')").arg(literal),
        &data));
    QCOMPARE(data.rows.value(0).value(0).toString(), QStringLiteral("2024-05-10 00:00:00"));
}

void TestServerStartup::booleanProbe_data() {
    QTest::addColumn<QString>("alter");
    QTest::addColumn<bool>("started");
    QTest::addColumn<int>("trueValue");
    QTest::addColumn<QStringList>("messagePrefixes");
    QTest::addColumn<QString>("driverText");
    QTest::addColumn<QString>("stored");

    QTest::newRow("smallint keeps -1") << "" << true << -1 << QStringList{} << ""
                                       << "-1";
    QTest::newRow("integer keeps -1")
        << "ALTER TABLE system ALTER COLUMN booltest TYPE integer" << true << -1 << QStringList{} << ""
        << "-1";
    QTest::newRow("refuses -1, keeps 1")
        << "ALTER TABLE system ADD CONSTRAINT booltest_not_negative CHECK (booltest >= 0)" << true << 1
        << QStringList{"[16] BoolTest-Fehler (3): "} << "booltest_not_negative"
        << "1";
    QTest::newRow("boolean refuses 0, 1 and -1")
        << "ALTER TABLE system ALTER COLUMN booltest TYPE boolean USING booltest <> 0" << false << 0
        << QStringList{"[16] BoolTest-Fehler (1): ", "[16] BoolTest-Fehler (2): ",
                       "[16] BoolTest-Fehler (3): ", QStringLiteral("[16] ") + kBoolFailed}
        << "is of type boolean"
        << "false";
}

void TestServerStartup::booleanProbe() {
    QFETCH(QString, alter);
    QFETCH(bool, started);
    QFETCH(int, trueValue);
    QFETCH(QStringList, messagePrefixes);
    QFETCH(QString, driverText);
    QFETCH(QString, stored);
    ScratchRole role(m_cluster, QStringLiteral("ordisp_t_bool"), kPassword);
    QVERIFY2(role.isValid() && role.initTables(), qPrintable(role.errorText()));
    if (!alter.isEmpty())
        QVERIFY2(role.exec(alter), qPrintable(role.errorText()));
    ServerConfig config;
    config.write(m_cluster.dsn(), role.name(), {QStringLiteral("PWD=") + kPassword});

    const StartupOutcome outcome = config.run(m_messages, QDateTime(QDate(2024, 5, 10), QTime(12, 0)));
    const QStringList texts = Texts(m_messages);
    QCOMPARE(texts.size(), messagePrefixes.size());
    for (int i = 0; i < texts.size(); ++i) {
        QVERIFY2(texts.at(i).startsWith(messagePrefixes.at(i)), qPrintable(texts.at(i)));
        // Each refusal carries the server's own reason.
        if (messagePrefixes.at(i).contains(QLatin1String("BoolTest")))
            QVERIFY2(texts.at(i).contains(driverText), qPrintable(texts.at(i)));
    }
    QCOMPARE(outcome.showMainWindow, started);
    QCOMPARE(outcome.exitCode, started ? 0 : 1);
    if (started)
        QCOMPARE(int(outcome.db->trueValue()), trueValue);
    else
        QVERIFY(!outcome.db);
    QCOMPARE(role.scalar(QStringLiteral("SELECT CAST(booltest AS text) FROM system")).toString(), stored);
}

void TestServerStartup::purgeAroundMidnight_data() {
    QTest::addColumn<QString>("dateStyle");
    QTest::newRow("year-month-day literal") << "ISO, MDY";
    QTest::newRow("day-first literal") << "ISO, DMY";
}

void TestServerStartup::purgeAroundMidnight() {
    QFETCH(QString, dateStyle);
    ScratchRole role(m_cluster, QStringLiteral("ordisp_t_purge"), kPassword,
                     {QStringLiteral("DateStyle = ") + SqlText(dateStyle)});
    QVERIFY2(role.isValid() && role.initTables(), qPrintable(role.errorText()));
    struct Line {
        QString text;
        int monitor;
        std::optional<int> status;
        QDateTime insdate;
    };
    const QDate today(2024, 5, 10);
    const QList<Line> lines = {
        {"done yesterday 23:59:59", 1, 2, QDateTime(today.addDays(-1), QTime(23, 59, 59))},
        {"done today 00:00:00", 1, 2, QDateTime(today, QTime(0, 0))},
        {"done today 00:01", 1, 2, QDateTime(today, QTime(0, 1))},
        {"done last year", 1, 2, QDateTime(QDate(2023, 10, 5), QTime(12, 0))},
        {"done yesterday, other monitor", 7, 2, QDateTime(today.addDays(-1), QTime(8, 0))},
        {"new, old", 1, 0, QDateTime(QDate(2023, 1, 1), QTime(8, 0))},
        {"in progress, old", 1, 1, QDateTime(QDate(2023, 1, 1), QTime(8, 0))},
        {"done, no time", 1, 2, QDateTime()},
        // Read as month-first, today's literal would be 5 October and take these with it.
        {"done in June", 1, 2, QDateTime(QDate(2024, 6, 1), QTime(8, 0))},
    };
    for (const Line& line : lines) {
        OrderInput order;
        order.monitorNr = line.monitor;
        order.text = line.text;
        order.status = line.status;
        order.insdate = line.insdate;
        DbError error;
        QVERIFY2(InsertOrder(role.side(), order, &error), qPrintable(error.description));
    }
    ServerConfig config;
    config.write(m_cluster.dsn(), role.name(), {QStringLiteral("PWD=") + kPassword});
    const StartupOutcome outcome = config.run(m_messages, QDateTime(today, QTime(0, 5)));
    QVERIFY(outcome.showMainWindow);
    ResultData left;
    QVERIFY(role.side().select(QStringLiteral("SELECT txt FROM ordisp ORDER BY id"), &left));
    QStringList texts;
    for (const ResultRow& row : left.rows)
        texts << row.value(0).toString();
    QCOMPARE(texts, (QStringList{"done today 00:00:00", "done today 00:01", "new, old", "in progress, old",
                                 "done, no time", "done in June"}));
}

void TestServerStartup::passwords_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("coded");
    QTest::newRow("plain, coded only") << "Kuechen2024" << true;
    QTest::newRow("semicolon and brace") << "a;b}c" << false;
    QTest::newRow("semicolon and brace, coded") << "a;b}c" << true;
    QTest::newRow("attribute inside") << "x;DATABASE=postgres;UID=ordisp" << false;
    QTest::newRow("braces around") << "{geheim}" << false;
    QTest::newRow("closing brace and semicolon") << "a};PWD=b" << false;
    QTest::newRow("quote and backslash") << "it's\\so" << false;
    QTest::newRow("umlaut and blank ends, coded") << " Küche " << true;
}

void TestServerStartup::passwords() {
    QFETCH(QString, password);
    QFETCH(bool, coded);
    ScratchRole role(m_cluster, QStringLiteral("ordisp_t_pwd"), password);
    QVERIFY2(role.isValid(), qPrintable(role.errorText()));
    ServerConfig config;
    QStringList lines;
    if (coded) {
        // The coded form as the administrator's tool writes it; a wrong PWD beside it is ignored.
        QString pwdc;
        QCOMPARE(RunDbToolProcess({QStringLiteral("encode-password")}, config.configFolder(),
                                  password.toUtf8() + "\n", &pwdc),
                 0);
        lines << QStringLiteral("PWD=falsch") << QStringLiteral("PWDC=") + pwdc.trimmed();
        QCOMPARE(DecodePassword(pwdc.trimmed()), password);
    } else {
        lines << QStringLiteral("PWD=") + password;
    }
    config.write(m_cluster.dsn(), role.name(), lines);
    QVERIFY2(role.initTables(), qPrintable(role.errorText()));

    const StartupOutcome outcome = config.run(m_messages, QDateTime(QDate(2024, 5, 10), QTime(12, 0)));
    QVERIFY2(m_messages.shown().isEmpty(), qPrintable(Texts(m_messages).join(QLatin1Char('\n'))));
    QVERIFY(outcome.showMainWindow);
    ResultData who;
    QVERIFY(outcome.db->select(QStringLiteral("SELECT current_user, current_database()"), &who));
    QCOMPARE(who.rows.value(0).value(0).toString(), role.name());
    QCOMPARE(who.rows.value(0).value(1).toString(), QStringLiteral("zalpos"));
}

void TestServerStartup::wrongPassword() {
    ScratchRole role(m_cluster, QStringLiteral("ordisp_t_wrong"), kPassword);
    QVERIFY2(role.isValid() && role.initTables(), qPrintable(role.errorText()));
    ServerConfig config;
    config.write(m_cluster.dsn(), role.name(), {QStringLiteral("PWD=") + kPassword + QStringLiteral("x")});

    const StartupOutcome outcome = config.run(m_messages, QDateTime(QDate(2024, 5, 10), QTime(12, 0)));
    QCOMPARE(outcome.showMainWindow, false);
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY(!outcome.db);
    QCOMPARE(m_messages.shown().size(), 2);
    const QString first = m_messages.shown().at(0).text;
    QCOMPARE(m_messages.shown().at(0).style, int(MsgCritical));
    QVERIFY2(first.startsWith(QStringLiteral(
                 "Die Verbindung zur Datenbank 'zalpos' konnte nicht hergestellt werden.\r\n\r\nFehler: ")),
             qPrintable(first));
    QVERIFY2(!first.contains(QLatin1String("Fehler: 0\r\n")) &&
                 !first.contains(QLatin1String("Fehler: -1\r\n")),
             qPrintable(first));
    QVERIFY2(first.contains(QLatin1String("password authentication failed for user \"ordisp_t_wrong\"")),
             qPrintable(first));
    // PostgreSQL answers in English: no login hint, the not-found message instead.
    QCOMPARE(m_messages.shown().at(1).style, int(MsgInformation));
    QCOMPARE(m_messages.shown().at(1).text, QStringLiteral("Die Datenbank 'zalpos' auf Server '") +
                                                m_cluster.dsn() + QStringLiteral("' wurde nicht gefunden. "));
}

QTEST_GUILESS_MAIN(TestServerStartup)
#include "tst_serverstartup.moc"
