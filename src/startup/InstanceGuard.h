#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;

namespace ordisp {

// Tells whether another display of this user already runs, and asks it to come to the front.
class InstanceGuard {
public:
    virtual ~InstanceGuard() = default;
    // True when this process is the only one and now holds the guard.
    virtual bool acquire() = 0;
    // Asks the running instance to raise and activate its main window.
    virtual void activateRunning() = 0;
};

// A lock file in the user's runtime folder (a stale lock from a crash does not block) plus a local
// socket on which the running instance listens for "raise yourself".
class LocalInstanceGuard final : public QObject, public InstanceGuard {
    Q_OBJECT
public:
    // name: distinguishes independent guards (tests); the default serves the real program.
    explicit LocalInstanceGuard(const QString& name = QStringLiteral("ordisp"), QObject* parent = nullptr);
    ~LocalInstanceGuard() override;

    bool acquire() override;
    void activateRunning() override;

    QString lockPath() const;
    QString serverName() const;

Q_SIGNALS:
    // The running instance was asked by a second start to come to the front.
    void activationRequested();

private:
    void onNewConnection();

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

} // namespace ordisp
