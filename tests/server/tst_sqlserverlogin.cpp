#include "Database.h"
#include "FakeTds.h"
#include "MessageSink.h"
#include "OdbcConnectionString.h"
#include "ServerTestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace ordisp;

namespace {

const QString kConnectionFailed =
    QStringLiteral("Die Verbindung zur Datenbank 'zalpos' konnte nicht hergestellt werden.\r\n\r\nFehler: ");
const QDateTime kNow(QDate(2024, 5, 10), QTime(12, 0));
// The login may take the driver's whole time-out, never more.
constexpr qint64 kLoginLimitMs = Database::kTimeoutSeconds * 1000 + 1000;

struct ConnectionError {
    qint64 number = 0;
    QString description;
};

// Splits the first message into the error number and the driver's text.
bool ParseConnectionError(const QString& text, ConnectionError* error) {
    if (!text.startsWith(kConnectionFailed))
        return false;
    const QString rest = text.mid(kConnectionFailed.size());
    const qsizetype lineEnd = rest.indexOf(QLatin1String("\r\n"));
    if (lineEnd < 0)
        return false;
    bool ok = false;
    error->number = rest.left(lineEnd).toLongLong(&ok);
    error->description = rest.mid(lineEnd + 2);
    return ok;
}

QString NotFound(const QString& server) {
    return QStringLiteral("Die Datenbank 'zalpos' auf Server '") + server +
           QStringLiteral("' wurde nicht gefunden. ");
}

} // namespace

class TestSqlServerLogin : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void nothingListening();
    void unknownHost();
    void loginRefused_data();
    void loginRefused();
    void passwordFreeTdsCannotCarry();
    void freeTdsConnectionString_data();
    void freeTdsConnectionString();

private:
    // Runs the start-up against server; checks that it ended without a main window.
    void runRefused(const QString& server, const QString& password, qint64* elapsed);

    QTemporaryDir m_freetds;
    RecordingMessageSink m_messages;
};

void TestSqlServerLogin::initTestCase() {
    const QString driver = odbc::sqlServerDriver();
    if (driver.isEmpty()) {
        if (ServerRequired())
            QFAIL("no SQL Server ODBC driver installed (tdsodbc)");
        QSKIP("no SQL Server ODBC driver installed (tdsodbc)");
    }
    // Microsoft's drivers insist on encryption, which the fake server does not offer.
    if (driver.compare(QLatin1String("FreeTDS"), Qt::CaseInsensitive) != 0)
        QSKIP(qPrintable(QStringLiteral("the SQL Server driver in use is %1, not FreeTDS").arg(driver)));
    // A configuration of our own: the machine's freetds.conf may name other versions or hosts.
    QVERIFY(m_freetds.isValid());
    const QString conf = m_freetds.filePath(QStringLiteral("freetds.conf"));
    QFile file(conf);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[global]\n\ttds version = 7.4\n");
    file.close();
    qputenv("FREETDSCONF", QFile::encodeName(conf));
}

void TestSqlServerLogin::runRefused(const QString& server, const QString& password, qint64* elapsed) {
    ServerConfig config;
    config.write(server, QStringLiteral("sa"), {QStringLiteral("PWD=") + password});
    m_messages.clear();
    QElapsedTimer timer;
    timer.start();
    const StartupOutcome outcome = config.run(m_messages, kNow);
    *elapsed = timer.elapsed();
    QCOMPARE(outcome.showMainWindow, false);
    QCOMPARE(outcome.exitCode, 1);
    QVERIFY(!outcome.db);
    QCOMPARE(m_messages.shown().size(), 2);
    QCOMPARE(m_messages.shown().at(0).style, int(MsgCritical));
}

void TestSqlServerLogin::nothingListening() {
    // A port that was free a moment ago: the connection is refused at once.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    const QString server = QStringLiteral("127.0.0.1,%1").arg(port);

    qint64 elapsed = 0;
    runRefused(server, QStringLiteral("geheim"), &elapsed);
    if (QTest::currentTestFailed())
        return;
    ConnectionError error;
    QVERIFY2(ParseConnectionError(m_messages.shown().at(0).text, &error),
             qPrintable(m_messages.shown().at(0).text));
    QVERIFY(error.number != 0);
    QVERIFY(!error.description.trimmed().isEmpty());
    QCOMPARE(m_messages.shown().at(1).style, int(MsgInformation));
    QCOMPARE(m_messages.shown().at(1).text, NotFound(server));
    qInfo("closed port: ended after %lld ms; error %lld: %s", elapsed, error.number,
          qPrintable(error.description.simplified()));
    QVERIFY2(elapsed < kLoginLimitMs, qPrintable(QString::number(elapsed)));
}

void TestSqlServerLogin::unknownHost() {
    const QString server = QStringLiteral("no-such-host.invalid");
    qint64 elapsed = 0;
    runRefused(server, QStringLiteral("geheim"), &elapsed);
    if (QTest::currentTestFailed())
        return;
    ConnectionError error;
    QVERIFY2(ParseConnectionError(m_messages.shown().at(0).text, &error),
             qPrintable(m_messages.shown().at(0).text));
    QVERIFY(error.number != 0);
    QVERIFY(!error.description.trimmed().isEmpty());
    QCOMPARE(m_messages.shown().at(1).style, int(MsgInformation));
    QCOMPARE(m_messages.shown().at(1).text, NotFound(server));
    qInfo("unknown host: ended after %lld ms; error %lld: %s", elapsed, error.number,
          qPrintable(error.description.simplified()));
    QVERIFY2(elapsed < kLoginLimitMs, qPrintable(QString::number(elapsed)));
}

void TestSqlServerLogin::loginRefused_data() {
    QTest::addColumn<QString>("serverText");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("loginHint");
    QTest::newRow("German server") << "Fehler bei der Anmeldung für den Benutzer 'sa'."
                                   << "geheim" << true;
    QTest::newRow("English server") << "Login failed for user 'sa'."
                                    << "geheim" << false;
    // The password reaches the server as typed, however the connection string had to quote it.
    QTest::newRow("password with ; } =") << "Fehler bei der Anmeldung für den Benutzer 'sa'."
                                         << "a;b}c=d;PWD=x" << true;
    QTest::newRow("password in braces") << "Login failed for user 'sa'."
                                        << "{ke}nn}" << false;
    QTest::newRow("doubled brace") << "Login failed for user 'sa'."
                                   << "a}}b" << false;
    QTest::newRow("brace at the end") << "Login failed for user 'sa'."
                                      << "kennwort}" << false;
}

void TestSqlServerLogin::loginRefused() {
    QFETCH(QString, serverText);
    QFETCH(QString, password);
    QFETCH(bool, loginHint);
    FakeTds fake(serverText, 18456);
    QVERIFY(fake.start());
    const QString server = QStringLiteral("127.0.0.1,%1").arg(fake.port());

    qint64 elapsed = 0;
    runRefused(server, password, &elapsed);
    if (QTest::currentTestFailed())
        return;
    ConnectionError error;
    QVERIFY2(ParseConnectionError(m_messages.shown().at(0).text, &error),
             qPrintable(m_messages.shown().at(0).text));
    QCOMPARE(error.number, 18456);
    QVERIFY2(error.description.contains(serverText), qPrintable(error.description));

    const RecordingMessageSink::Entry second = m_messages.shown().at(1);
    QCOMPARE(second.style, int(MsgInformation));
    if (loginHint) {
        QVERIFY2(second.text.startsWith(QLatin1String("Die Anmeldung an der Datenbank wurde abgelehnt.")),
                 qPrintable(second.text));
        QVERIFY(second.text.contains(QLatin1String("/zalpos/ZALPOS.INI")));
    } else {
        QCOMPARE(second.text, NotFound(server));
    }

    // What FreeTDS sent: TDS 7.4, our user, database and password.
    QCOMPARE(fake.preLogins(), 1);
    const QList<FakeTds::Login> logins = fake.logins();
    QCOMPARE(logins.size(), 1);
    QCOMPARE(logins.first().tdsVersion, quint32(0x74000004));
    QCOMPARE(logins.first().user, QStringLiteral("sa"));
    QCOMPARE(logins.first().database, QStringLiteral("zalpos"));
    QCOMPARE(logins.first().password, password);
    qInfo("refused login: ended after %lld ms", elapsed);
    QVERIFY2(elapsed < kLoginLimitMs, qPrintable(QString::number(elapsed)));
}

void TestSqlServerLogin::passwordFreeTdsCannotCarry() {
    // FreeTDS would end the value at "};" and read the rest as attributes of its own.
    FakeTds fake(QStringLiteral("Login failed for user 'sa'."), 18456);
    QVERIFY(fake.start());
    const QString server = QStringLiteral("127.0.0.1,%1").arg(fake.port());
    qint64 elapsed = 0;
    runRefused(server, QStringLiteral("x};DATABASE=master"), &elapsed);
    if (QTest::currentTestFailed())
        return;
    ConnectionError error;
    QVERIFY(ParseConnectionError(m_messages.shown().at(0).text, &error));
    QCOMPARE(error.number, -1);
    QVERIFY2(error.description.contains(QLatin1String("\"};\"")), qPrintable(error.description));
    QCOMPARE(m_messages.shown().at(1).text, NotFound(server));
    QCOMPARE(fake.preLogins(), 0);
    QVERIFY(fake.logins().isEmpty());
}

void TestSqlServerLogin::freeTdsConnectionString_data() {
    QTest::addColumn<bool>("dsn");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain")
        << false << "kasse"
        << "geheim"
        << "DRIVER={FreeTDS};SERVER=kasse;DATABASE=zalpos;UID=sa;PWD=geheim;TDS_Version=7.4";
    QTest::newRow("host and port") << false << "127.0.0.1,1433"
                                   << ""
                                   << "DRIVER={FreeTDS};SERVER={127.0.0.1,1433};DATABASE=zalpos;UID=sa;"
                                      "TDS_Version=7.4";
    QTest::newRow("closing brace not doubled")
        << false << "kasse"
        << "a}b;c"
        << "DRIVER={FreeTDS};SERVER=kasse;DATABASE=zalpos;UID=sa;PWD={a}b;c};TDS_Version=7.4";
    QTest::newRow("brace then semicolon") << false << "kasse"
                                          << "a};UID=x"
                                          << "";
    QTest::newRow("data source, braced value last") << true << "KasseTds"
                                                    << "a=b"
                                                    << "KasseTds;DATABASE=zalpos;UID=sa;PWD={a=b};";
}

void TestSqlServerLogin::freeTdsConnectionString() {
    QFETCH(bool, dsn);
    QFETCH(QString, server);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    ConnectionSettings settings;
    settings.type = kDbTypeSql;
    settings.server = server;
    settings.user = QStringLiteral("sa");
    settings.password = password;
    QCOMPARE(odbc::connectionString(settings, dsn, QStringLiteral("FreeTDS")), expected);
}

QTEST_GUILESS_MAIN(TestSqlServerLogin)
#include "tst_sqlserverlogin.moc"
