#include "ServerTestSupport.h"

#include "ResultSet.h"
#include "Schema.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <csignal>
#include <sys/types.h>

namespace ordisp {

namespace {

QString env(const char* name) {
    return qEnvironmentVariable(name);
}

} // namespace

bool ServerRequired() {
    return env("CI").compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

QString SqlText(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

PgCluster::PgCluster()
    : m_dsn(env("ORDISP_TEST_DSN"))
    , m_user(env("ORDISP_TEST_PGUSER"))
    , m_password(env("ORDISP_TEST_PGPASSWORD"))
    , m_script(env("ORDISP_TEST_PGCLUSTER"))
    , m_dataFolder(env("ORDISP_TEST_PGDATA")) {
    if (m_dsn.isEmpty() || m_user.isEmpty()) {
        m_unavailable = QStringLiteral("ORDISP_TEST_DSN and ORDISP_TEST_PGUSER are not set");
        return;
    }
    Database probe(QStringLiteral("PgClusterProbe"));
    DbError error;
    if (!probe.open(admin(), &error)) {
        m_unavailable = QStringLiteral("data source %1 does not answer: %2").arg(m_dsn, error.description);
        return;
    }
    if (!probe.dbmsName().contains(QLatin1String("PostgreSQL")))
        m_unavailable = QStringLiteral("data source %1 is %2, not PostgreSQL").arg(m_dsn, probe.dbmsName());
}

ConnectionSettings PgCluster::admin() const {
    return login(m_user, m_password);
}

ConnectionSettings PgCluster::login(const QString& user, const QString& password) const {
    ConnectionSettings s;
    s.type = kDbTypeSql;
    s.server = m_dsn;
    s.user = user;
    s.password = password;
    return s;
}

bool PgCluster::runScript(const QString& command, QString* error) const {
    if (m_script.isEmpty()) {
        *error = QStringLiteral("ORDISP_TEST_PGCLUSTER is not set");
        return false;
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(m_script, {command});
    if (!process.waitForFinished(90000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        *error = QStringLiteral("pg-cluster %1 failed: %2")
                     .arg(command, QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool PgCluster::stopServer(QString* error) const {
    return runScript(QStringLiteral("stop"), error);
}

bool PgCluster::startServer(QString* error) const {
    return runScript(QStringLiteral("start"), error);
}

bool PgCluster::signalServer(int signal, QString* error) const {
    QFile pidFile(m_dataFolder + QStringLiteral("/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("no postmaster.pid in %1").arg(m_dataFolder);
        return false;
    }
    const qint64 postmaster = pidFile.readLine().trimmed().toLongLong();
    if (postmaster <= 0) {
        *error = QStringLiteral("postmaster.pid names no process");
        return false;
    }
    // The processes are picked by id: the postmaster and those whose parent it is.
    QList<qint64> pids{postmaster};
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...; comm may hold blanks, so read after its closing bracket.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == postmaster)
            pids << pid;
    }
    for (const qint64 pid : pids) {
        if (::kill(pid_t(pid), signal) != 0 && pid == postmaster) {
            *error = QStringLiteral("cannot signal the postmaster %1").arg(pid);
            return false;
        }
    }
    return true;
}

ScratchRole::ScratchRole(const PgCluster& cluster, const QString& name, const QString& password,
                         const QStringList& settings)
    : m_cluster(cluster)
    , m_name(name)
    , m_password(password)
    , m_admin(QStringLiteral("ScratchAdmin_") + name) {
    DbError error;
    if (!m_admin.open(cluster.admin(), &error)) {
        m_error = error.description;
        return;
    }
    // Left over from a run that did not get to clean up.
    admin(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_name));
    admin(QStringLiteral("DROP ROLE IF EXISTS %1").arg(m_name));
    m_error.clear();
    if (!admin(QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD %2").arg(m_name, SqlText(m_password))) ||
        !admin(QStringLiteral("CREATE SCHEMA %1 AUTHORIZATION %1").arg(m_name)))
        return;
    for (const QString& setting : settings) {
        if (!admin(QStringLiteral("ALTER ROLE %1 SET %2").arg(m_name, setting)))
            return;
    }
}

ScratchRole::~ScratchRole() {
    if (m_side)
        m_side->close();
    // The server may have been restarted since; a fresh connection is sure to work.
    if (!m_admin.reopen())
        return;
    // Best effort: sessions a test left open would keep the role.
    (void)m_admin.exec(
        QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = %1")
            .arg(SqlText(m_name)));
    (void)m_admin.exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(m_name));
    (void)m_admin.exec(QStringLiteral("DROP ROLE IF EXISTS %1").arg(m_name));
}

bool ScratchRole::admin(const QString& sql) {
    DbError error;
    if (m_admin.exec(sql, &error))
        return true;
    m_error = error.description;
    return false;
}

bool ScratchRole::initTables() {
    DbError error;
    if (EnsureOrderSchema(side(), nullptr, &error))
        return true;
    m_error = error.description;
    return false;
}

Database& ScratchRole::side() {
    if (!m_side) {
        m_side = std::make_unique<Database>(QStringLiteral("ScratchSide_") + m_name);
        DbError error;
        if (!m_side->open(settings(), &error))
            m_error = error.description;
    }
    return *m_side;
}

bool ScratchRole::reconnect() {
    DbError error;
    if (side().reopen(&error))
        return true;
    m_error = error.description;
    return false;
}

bool ScratchRole::exec(const QString& sql) {
    DbError error;
    if (side().exec(sql, &error))
        return true;
    m_error = error.description;
    return false;
}

QVariant ScratchRole::scalar(const QString& sql) {
    ResultData data;
    DbError error;
    if (!side().select(sql, &data, &error)) {
        m_error = error.description;
        return QVariant();
    }
    if (data.rows.isEmpty() || data.rows.first().isEmpty())
        return QVariant();
    return data.rows.first().first();
}

ServerConfig::ServerConfig() {
    for (const QString& folder : {configFolder(), exeFolder(), workFolder()})
        QDir().mkpath(folder);
}

void ServerConfig::write(const QByteArray& text) {
    QFile file(iniPath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text);
}

StartupOutcome ServerConfig::run(RecordingMessageSink& messages, const QDateTime& now,
                                 InstanceGuard* instance) const {
    const FixedClock clock(now);
    return RunStartup({&messages, &clock, instance, configFolder(), exeFolder(), workFolder(), {}});
}

} // namespace ordisp
