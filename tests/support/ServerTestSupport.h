#pragma once

#include "Clock.h"
#include "Database.h"
#include "InstanceGuard.h"
#include "MessageSink.h"
#include "Startup.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace ordisp {

// Whether a server the tests need may be missing: in CI (CI=true) it must be there.
bool ServerRequired();

// The private PostgreSQL cluster of scripts/pg-cluster, found through the exports of
// `pg-cluster env` (ORDISP_TEST_DSN, ORDISP_TEST_PGUSER, ...).
class PgCluster {
public:
    PgCluster();

    // Empty when the cluster answers; otherwise why it cannot be used.
    QString unavailableReason() const { return m_unavailable; }

    QString dsn() const { return m_dsn; }
    // The superuser login, through the data source as the display connects.
    ConnectionSettings admin() const;
    ConnectionSettings login(const QString& user, const QString& password) const;

    // Stops or starts the server through scripts/pg-cluster; the cluster and its port stay.
    bool stopServer(QString* error) const;
    bool startServer(QString* error) const;
    // Sends signal to the postmaster and every process it started (the backends among them).
    bool signalServer(int signal, QString* error) const;

private:
    bool runScript(const QString& command, QString* error) const;

    QString m_dsn;
    QString m_user;
    QString m_password;
    QString m_script;
    QString m_dataFolder;
    QString m_unavailable;
};

// Skips the test when the cluster is missing on a developer's machine; fails it in CI.
#define ORDISP_REQUIRE_PG(cluster)                                                                           \
    do {                                                                                                     \
        const QString why_ = (cluster).unavailableReason();                                                  \
        if (!why_.isEmpty()) {                                                                               \
            if (ServerRequired())                                                                            \
                QFAIL(qPrintable(QStringLiteral("PostgreSQL test cluster missing in CI: ") + why_));         \
            QSKIP(qPrintable(QStringLiteral("no PostgreSQL test cluster (scripts/pg-cluster start): ") +     \
                             why_));                                                                         \
        }                                                                                                    \
    } while (false)

// A login role of the cluster with a schema of the same name. PostgreSQL looks up unqualified
// tables in the user's own schema first, so the role's ordisp and system are its own: each test
// arranges its tables without touching another's. Dropped with everything in it at the end.
class ScratchRole {
public:
    // settings: role defaults, e.g. "DateStyle = 'ISO, DMY'".
    ScratchRole(const PgCluster& cluster, const QString& name, const QString& password,
                const QStringList& settings = {});
    ~ScratchRole();
    ScratchRole(const ScratchRole&) = delete;
    ScratchRole& operator=(const ScratchRole&) = delete;

    bool isValid() const { return m_error.isEmpty(); }
    QString errorText() const { return m_error; }
    QString name() const { return m_name; }
    ConnectionSettings settings() const { return m_cluster.login(m_name, m_password); }

    // Creates the tables as the administrator's tool does, over the role's own connection.
    bool initTables();

    // A connection as this role for arranging and checking rows; opened on first use.
    Database& side();
    // A new side connection, e.g. after the server was restarted.
    bool reconnect();
    bool exec(const QString& sql);
    QVariant scalar(const QString& sql);

private:
    bool admin(const QString& sql);

    const PgCluster& m_cluster;
    QString m_name;
    QString m_password;
    QString m_error;
    Database m_admin;
    std::unique_ptr<Database> m_side;
};

// A configuration folder for one start: ZALPOS.INI, executable and working folders.
class ServerConfig {
public:
    ServerConfig();
    QString folder() const { return m_dir.path(); }
    QString configFolder() const { return m_dir.filePath(QStringLiteral("config/zalpos")); }
    QString iniPath() const { return ConfigFilePath(configFolder()); }
    QString exeFolder() const { return m_dir.filePath(QStringLiteral("bin")); }
    QString workFolder() const { return m_dir.filePath(QStringLiteral("cwd")); }

    void write(const QByteArray& text); // as ZALPOS.INI

    // The start-up sequence up to the main window, with the messages recorded.
    StartupOutcome run(RecordingMessageSink& messages, const QDateTime& now,
                       InstanceGuard* instance = nullptr) const;

private:
    QTemporaryDir m_dir;
};

QString SqlText(const QString& text); // 'text' with quotes doubled

} // namespace ordisp
