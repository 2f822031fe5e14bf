#pragma once

#include <QList>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace ordisp {

// A stand-in for SQL Server that refuses every login, on 127.0.0.1 at a port of its own. It speaks
// just enough TDS 7.x: the pre-login is answered without encryption, each LOGIN7 with an ERROR
// token and a DONE token that flags the error; then it closes the connection, as SQL Server does.
// It serves on a thread of its own because the client under test blocks the caller's thread.
class FakeTds final {
public:
    // What a client sent in its LOGIN7 message.
    struct Login {
        quint32 tdsVersion = 0; // as on the wire, e.g. 0x74000004 for TDS 7.4
        QString user;
        QString password; // de-obfuscated
        QString database;
    };

    FakeTds(QString errorText, qint32 errorNumber);
    ~FakeTds();
    FakeTds(const FakeTds&) = delete;
    FakeTds& operator=(const FakeTds&) = delete;

    // Starts listening; false when no port could be had.
    bool start();
    quint16 port() const { return m_port; }

    int preLogins() const { return m_preLogins; }
    QList<Login> logins() const;

    // Packet bodies, public for the tests of the fake itself.
    static QByteArray preLoginReply();
    static QByteArray loginErrorReply(const QString& text, qint32 number, const QString& serverName);
    // Parses a LOGIN7 body; false when it is too short or its offsets point outside it.
    static bool parseLogin(const QByteArray& body, Login* login);
    // One TDS packet: 8-byte header (type, status end-of-message, big-endian length), then body.
    static QByteArray packet(quint8 type, const QByteArray& body);

private:
    void serve();

    const QString m_errorText;
    const qint32 m_errorNumber;
    std::atomic<quint16> m_port{0};
    std::atomic<int> m_preLogins{0};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    QList<Login> m_logins;
    std::thread m_thread;
};

} // namespace ordisp
