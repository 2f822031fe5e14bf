// SQL Server's login through FreeTDS, against a stand-in server that refuses every login in German:
// what the cook is told, and that user, database and password arrive as typed in ZALPOS.INI.

#include "MessageSink.h"
#include "OdbcConnectionString.h"
#include "ServerTestSupport.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <QtTest>

#include <future>

using namespace ordisp;

namespace {

const QString kRefusal = QStringLiteral("Fehler bei der Anmeldung für den Benutzer 'sa'.");

// A reply packet: an ERROR token (18456, state 1, class 14, no server or procedure name, line 1)
// and a DONE token flagging it.
QByteArray refusal() {
    QByteArray packet("\x04\x01\0\0\0\0\x01\0", 8);
    QDataStream out(&packet, QIODevice::Append);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint8(0xAA) << quint16(14 + 2 * kRefusal.size()) << qint32(18456) << quint8(1) << quint8(14)
        << quint16(kRefusal.size());
    for (const QChar c : kRefusal)
        out << c.unicode();
    out << quint8(0) << quint8(0) << qint32(1) << quint8(0xFD) << quint16(2) << quint16(0) << quint64(0);
    qToBigEndian(quint16(packet.size()), packet.data() + 2);
    return packet;
}

// A field of a LOGIN7 body, found by the offset and length at 36 + 4 * index: 1 the user, 2 the
// password (each byte's halves swapped, then 0xA5), 8 the database.
QString loginField(const QByteArray& body, int index) {
    const char* entry = body.constData() + 36 + 4 * index;
    QByteArray bytes = body.mid(qFromLittleEndian<quint16>(entry), 2 * qFromLittleEndian<quint16>(entry + 2));
    for (char& c : bytes) {
        const auto b = quint8(quint8(c) ^ 0xA5);
        c = index == 2 ? char(quint8(b << 4 | b >> 4)) : c;
    }
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
}

// The stand-in's side of a login: the pre-login answered without encryption, the login refused.
// What the client sent, as "version user@database password".
QString refuseLogin(QTcpSocket& socket) {
    // A client message: an 8-byte header with the length big-endian at 2, then the body.
    const auto read = [&socket] {
        QByteArray in;
        while ((in.size() < 8 || in.size() < qFromBigEndian<quint16>(in.constData() + 2)) &&
               socket.waitForReadyRead(5000))
            in += socket.readAll();
        return in.mid(8);
    };
    read();
    // Version 15.0.2000, no encryption.
    socket.write(QByteArray::fromHex("0401001a0000010000000b00060100110001ff0f0007d0000002"));
    const QByteArray login = read();
    socket.write(refusal());
    socket.waitForBytesWritten(2000);
    if (login.size() < 72)
        return QStringLiteral("no LOGIN7");
    return QString::number(qFromLittleEndian<quint32>(login.constData() + 4), 16) + QLatin1Char(' ') +
           loginField(login, 1) + QLatin1Char('@') + loginField(login, 8) + QLatin1Char(' ') +
           loginField(login, 2);
}

} // namespace

class TestSqlServerLogin : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void refusedLogin_data();
    void refusedLogin();

private:
    QTemporaryDir m_dir;
};

void TestSqlServerLogin::initTestCase() {
    // Microsoft's drivers insist on encryption, which the stand-in does not offer.
    if (odbc::sqlServerDriver().compare(QLatin1String("FreeTDS"), Qt::CaseInsensitive) != 0) {
        if (ServerRequired())
            QFAIL("FreeTDS is not the SQL Server ODBC driver in use (tdsodbc)");
        QSKIP("FreeTDS is not the SQL Server ODBC driver in use (tdsodbc)");
    }
    // No configuration of the machine's: it may name other versions or hosts.
    qputenv("FREETDSCONF", "/dev/null");
    qputenv("TDSVER", "7.4");
    qputenv("ODBCINI", QFile::encodeName(m_dir.filePath(QStringLiteral("odbc.ini"))));
}

void TestSqlServerLogin::refusedLogin_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("viaDsn"); // else by address and port
    QTest::addColumn<bool>("sent");   // else refused before a word reached the server
    // clang-format off
    QTest::newRow("plain") << "geheim" << false << true;
    QTest::newRow("none") << "" << false << true;
    QTest::newRow("semicolon") << "a;b" << false << true;
    QTest::newRow("braces, =, PWD=") << "a;b}c=d;PWD=x" << false << true;
    QTest::newRow("braces, kept as they are") << "{ke}}nn}" << false << true;
    QTest::newRow("data source, braced value last") << "a=b" << true << true;
    // FreeTDS would end the value at "};" and read the rest as attributes of its own.
    QTest::newRow("brace and semicolon") << "x};DATABASE=master" << false << false;
    // clang-format on
}

void TestSqlServerLogin::refusedLogin() {
    QFETCH(QString, password);
    QFETCH(bool, viaDsn);
    QFETCH(bool, sent);
    // The stand-in serves on a thread of its own, as the login under test blocks this one.
    std::promise<quint16> listening;
    std::future<QString> login = std::async(std::launch::async, [&listening, sent] {
        QTcpServer server;
        listening.set_value(server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0);
        if (!server.waitForNewConnection(sent ? 20000 : 0))
            return QString();
        return refuseLogin(*std::unique_ptr<QTcpSocket>(server.nextPendingConnection()));
    });
    const quint16 port = listening.get_future().get();
    QFile ini(m_dir.filePath(QStringLiteral("odbc.ini")));
    QVERIFY(port != 0 && ini.open(QIODevice::WriteOnly));
    ini.write("[KasseTds]\nDriver = FreeTDS\nServer = 127.0.0.1\nPort = " + QByteArray::number(port) + '\n');
    ini.close();

    const QString server = viaDsn ? QStringLiteral("KasseTds") : QStringLiteral("127.0.0.1,%1").arg(port);
    ServerConfig config;
    config.write("[DATABASE]\nTYP=MS-SQL\nSERVER=" + server.toUtf8() + "\nUSER=sa\nPWD=" + password.toUtf8() +
                 '\n');
    RecordingMessageSink messages;
    const StartupOutcome outcome = config.run(messages, QDateTime(QDate(2024, 5, 10), QTime(12, 0)));
    QVERIFY(!outcome.showMainWindow && !outcome.db && outcome.exitCode == 1);
    QCOMPARE(login.get(), sent ? QStringLiteral("74000004 sa@zalpos ") + password : QString());
    // The driver's words with the server's number, then what to do: the German refusal brings the
    // hint on the login.
    const QString told = messages.texts().join(QLatin1Char('\n'));
    QVERIFY2(
        messages.texts().size() == 2 && told.contains(sent ? kRefusal : QStringLiteral("\"};\"")) &&
            told.contains(sent ? QStringLiteral("Fehler: 18456\r\n") : QStringLiteral("Fehler: -1\r\n")) &&
            told.contains(sent
                              ? QStringLiteral("\nDie Anmeldung an der Datenbank wurde abgelehnt.")
                              : QStringLiteral("\nDie Datenbank 'zalpos' auf Server '%1' wurde").arg(server)),
        qPrintable(told));
}

QTEST_GUILESS_MAIN(TestSqlServerLogin)
#include "tst_sqlserverlogin.moc"
