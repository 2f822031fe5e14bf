#include "InstanceGuard.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace ordisp {

namespace {
const QByteArray kActivate = QByteArrayLiteral("activate\n");
}

LocalInstanceGuard::LocalInstanceGuard(const QString& name, QObject* parent)
    : QObject(parent)
    , m_name(name) {}

LocalInstanceGuard::~LocalInstanceGuard() = default;

QString LocalInstanceGuard::lockPath() const {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

QString LocalInstanceGuard::serverName() const {
    // One socket per user: two users on one workstation each run their own display.
    return QStringLiteral("%1-%2").arg(m_name).arg(::getuid());
}

bool LocalInstanceGuard::acquire() {
    m_lock = std::make_unique<QLockFile>(lockPath());
    // A lock whose owner process is gone counts as stale at once.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        if (m_lock->error() != QLockFile::LockFailedError) {
            // The runtime folder is unusable; rather run twice than never.
            return true;
        }
        return false;
    }
    m_server = new QLocalServer(this);
    QLocalServer::removeServer(serverName());
    if (m_server->listen(serverName()))
        connect(m_server, &QLocalServer::newConnection, this, &LocalInstanceGuard::onNewConnection);
    return true;
}

void LocalInstanceGuard::activateRunning() {
    QLocalSocket socket;
    socket.connectToServer(serverName());
    if (!socket.waitForConnected(2000))
        return;
    socket.write(kActivate);
    socket.waitForBytesWritten(2000);
    socket.disconnectFromServer();
}

void LocalInstanceGuard::onNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->readAll().contains("activate"))
                Q_EMIT activationRequested();
        });
    }
}

} // namespace ordisp
