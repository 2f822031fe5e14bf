#include "FakeTds.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>

#include <future>

namespace ordisp {

namespace {

constexpr quint8 kPreLogin = 0x12;
constexpr quint8 kLogin7 = 0x10;
constexpr quint8 kReply = 0x04;
constexpr quint8 kEndOfMessage = 0x01;
constexpr int kHeaderSize = 8;

void appendLe16(QByteArray& out, quint16 value) {
    out.append(char(value & 0xff));
    out.append(char(value >> 8));
}

void appendLe32(QByteArray& out, quint32 value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.append(char((value >> shift) & 0xff));
}

void appendUcs2(QByteArray& out, const QString& text) {
    for (const QChar c : text)
        appendLe16(out, c.unicode());
}

QString ucs2At(const QByteArray& body, int offset, int chars) {
    QString text;
    for (int i = 0; i < chars; ++i) {
        const auto* p = reinterpret_cast<const uchar*>(body.constData() + offset + 2 * i);
        text.append(QChar(qFromLittleEndian<quint16>(p)));
    }
    return text;
}

// One whole message of the client: its packets' bodies joined, up to the end-of-message packet.
// False when the client closed, stop was asked or nothing came in time.
bool readMessage(QTcpSocket& socket, const std::atomic<bool>& stop, quint8* type, QByteArray* body) {
    QByteArray buffer;
    body->clear();
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        while (buffer.size() >= kHeaderSize) {
            const int length =
                qFromBigEndian<quint16>(reinterpret_cast<const uchar*>(buffer.constData() + 2));
            if (length < kHeaderSize)
                return false;
            if (buffer.size() < length)
                break;
            *type = quint8(buffer.at(0));
            const bool last = (quint8(buffer.at(1)) & kEndOfMessage) != 0;
            body->append(buffer.mid(kHeaderSize, length - kHeaderSize));
            buffer.remove(0, length);
            if (last)
                return true;
        }
        if (stop || waited.elapsed() > 20000 || socket.state() != QAbstractSocket::ConnectedState)
            return false;
        if (socket.waitForReadyRead(100))
            buffer.append(socket.readAll());
    }
}

} // namespace

FakeTds::FakeTds(QString errorText, qint32 errorNumber)
    : m_errorText(std::move(errorText))
    , m_errorNumber(errorNumber) {}

FakeTds::~FakeTds() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

bool FakeTds::start() {
    std::promise<quint16> listening;
    std::future<quint16> port = listening.get_future();
    m_thread = std::thread([this, &listening] {
        QTcpServer server;
        const bool ok = server.listen(QHostAddress::LocalHost, 0);
        listening.set_value(ok ? server.serverPort() : 0);
        if (!ok)
            return;
        while (!m_stop) {
            if (!server.waitForNewConnection(100))
                continue;
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                std::unique_ptr<QTcpSocket> owned(socket);
                quint8 type = 0;
                QByteArray body;
                while (readMessage(*socket, m_stop, &type, &body)) {
                    if (type == kPreLogin) {
                        ++m_preLogins;
                        socket->write(packet(kReply, preLoginReply()));
                        socket->waitForBytesWritten(2000);
                    } else if (type == kLogin7) {
                        Login login;
                        if (parseLogin(body, &login)) {
                            const std::lock_guard<std::mutex> lock(m_mutex);
                            m_logins.append(login);
                        }
                        socket->write(packet(kReply, loginErrorReply(m_errorText, m_errorNumber,
                                                                     QStringLiteral("ORDISPFAKE"))));
                        socket->waitForBytesWritten(2000);
                        break;
                    } else {
                        break;
                    }
                }
                socket->disconnectFromHost();
                if (socket->state() != QAbstractSocket::UnconnectedState)
                    socket->waitForDisconnected(2000);
            }
        }
    });
    m_port = port.get();
    return m_port != 0;
}

QList<FakeTds::Login> FakeTds::logins() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_logins;
}

QByteArray FakeTds::packet(quint8 type, const QByteArray& body) {
    QByteArray out;
    out.append(char(type));
    out.append(char(kEndOfMessage));
    const auto length = quint16(kHeaderSize + body.size());
    out.append(char(length >> 8));
    out.append(char(length & 0xff));
    out.append(QByteArray(2, '\0')); // SPID
    out.append(char(1));             // packet number
    out.append(char(0));             // window
    return out + body;
}

QByteArray FakeTds::preLoginReply() {
    // Option table (token, big-endian offset and length), terminator, then the option data.
    struct Option {
        quint8 token;
        QByteArray data;
    };
    const Option options[] = {
        {0x00, QByteArray::fromHex("0f0007d00000")}, // VERSION: 15.0.2000, sub-build 0
        {0x01, QByteArray(1, char(0x02))},           // ENCRYPTION: ENCRYPT_NOT_SUP
        {0x02, QByteArray(1, '\0')},                 // INSTOPT: the default instance
        {0x03, QByteArray()},                        // THREADID: none from a server
        {0x04, QByteArray(1, '\0')},                 // MARS: off
    };
    const int tableSize = int(std::size(options)) * 5 + 1;
    QByteArray table;
    QByteArray data;
    for (const Option& option : options) {
        const auto offset = quint16(tableSize + data.size());
        table.append(char(option.token));
        table.append(char(offset >> 8));
        table.append(char(offset & 0xff));
        table.append(char(option.data.size() >> 8));
        table.append(char(option.data.size() & 0xff));
        data.append(option.data);
    }
    table.append(char(0xff));
    return table + data;
}

QByteArray FakeTds::loginErrorReply(const QString& text, qint32 number, const QString& serverName) {
    QByteArray error;
    appendLe32(error, quint32(number));
    error.append(char(1));  // state
    error.append(char(14)); // class: a login failure
    appendLe16(error, quint16(text.size()));
    appendUcs2(error, text);
    error.append(char(serverName.size()));
    appendUcs2(error, serverName);
    error.append(char(0)); // no procedure
    appendLe32(error, 1);  // line number

    QByteArray reply;
    reply.append(char(0xAA)); // ERROR
    appendLe16(reply, quint16(error.size()));
    reply.append(error);
    reply.append(char(0xFD));  // DONE
    appendLe16(reply, 0x0002); // DONE_ERROR
    appendLe16(reply, 0);      // current command
    appendLe32(reply, 0);      // row count, 64 bits from TDS 7.2 on
    appendLe32(reply, 0);
    return reply;
}

bool FakeTds::parseLogin(const QByteArray& body, Login* login) {
    // Fixed part of 36 bytes, then (offset, length in characters) pairs: host name, user name,
    // password, application, server, extension, client library, language, database.
    constexpr int kFixed = 36;
    constexpr int kPairs = 9;
    if (body.size() < kFixed + 4 * kPairs)
        return false;
    const auto* p = reinterpret_cast<const uchar*>(body.constData());
    login->tdsVersion = qFromLittleEndian<quint32>(p + 4);
    const auto field = [&](int index, QString* out) {
        const int offset = qFromLittleEndian<quint16>(p + kFixed + 4 * index);
        const int chars = qFromLittleEndian<quint16>(p + kFixed + 4 * index + 2);
        if (offset + 2 * chars > body.size())
            return false;
        *out = ucs2At(body, offset, chars);
        return true;
    };
    QString password;
    if (!field(1, &login->user) || !field(2, &password) || !field(8, &login->database))
        return false;
    // Each byte was nibble-swapped and then combined with 0xA5.
    QByteArray raw = body.mid(qFromLittleEndian<quint16>(p + kFixed + 8), 2 * password.size());
    for (char& c : raw) {
        const auto b = quint8(quint8(c) ^ 0xA5);
        c = char(quint8((b << 4) | (b >> 4)));
    }
    login->password = ucs2At(raw, 0, password.size());
    return true;
}

} // namespace ordisp
