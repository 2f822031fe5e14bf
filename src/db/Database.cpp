#include "Database.h"

#include "OdbcConnection.h"
#include "SqliteConnection.h"

#include <QSqlDatabase>

#include <algorithm>

namespace ordisp {

Database::Database(const QString& connectionName)
    : m_name(connectionName) {}

Database::~Database() {
    close();
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
}

bool Database::open(const ConnectionSettings& settings, DbError* error) {
    close();
    // The driver may differ from the last open; a fresh registration avoids mixing them.
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
    m_settings = settings;
    if (error)
        error->clear();
    // The one place that picks the back end.
    if (m_settings.isServer()) {
        m_source = QStringLiteral("QODBC");
        m_connection = OdbcConnection::open(m_name, m_settings, error);
    } else {
        m_settings.type = kDbTypeJet;
        m_source = QStringLiteral("QSQLITE");
        m_connection = SqliteConnection::open(m_name, m_settings, lockWait(), error);
    }
    // Whatever keeps a connection from being made counts as lost, unless a lock was in the way.
    if (!m_connection && error && !error->busy())
        error->kind = DbError::Kind::Lost;
    return m_connection != nullptr;
}

bool Database::isOpen() const {
    return m_connection && m_connection->isOpen();
}

void Database::close() {
    m_connection.reset();
}

bool Database::reopen(DbError* error) {
    const ConnectionSettings settings = m_settings;
    return open(settings, error);
}

QString Database::dbmsName() const {
    return isOpen() ? m_connection->dbmsName() : QString();
}

bool Database::exec(const QString& sql, DbError* error) {
    return run(sql, nullptr, error, nullptr);
}

bool Database::select(const QString& sql, ResultData* out, DbError* error, const ResultData* previous) {
    ResultData data;
    const bool ok = run(sql, &data, error, previous);
    if (ok && out)
        *out = std::move(data);
    return ok;
}

bool Database::run(const QString& sql, ResultData* out, DbError* error, const ResultData* previous) {
    if (error)
        error->clear();
    if (!isOpen()) {
        SetError(error, -1, NotOpenText(), m_source, DbError::Kind::Lost);
        return false;
    }
    m_connection->setLockWait(lockWait());
    if (m_connection->run(sql, out, error, previous))
        return true;
    if (error == nullptr)
        return false;
    if (error->timedOut || !m_connection->isOpen()) {
        error->kind = DbError::Kind::Lost;
    } else if (m_settings.isServer() && error->kind == DbError::Kind::Refused) {
        // A server's drivers tell a refused statement from a dropped connection in their own
        // ways; a statement that needs nothing but the connection tells it the same way for all.
        DbError probe;
        if (!m_connection->run(QStringLiteral("SELECT 1"), nullptr, &probe, nullptr))
            error->kind = DbError::Kind::Lost;
    }
    return false;
}

std::optional<DataStamp> Database::dataStamp() {
    if (!isOpen())
        return std::nullopt;
    m_connection->setLockWait(lockWait());
    return m_connection->dataStamp();
}

std::chrono::milliseconds Database::lockWait() const {
    using namespace std::chrono;
    const milliseconds full = seconds(kTimeoutSeconds);
    if (!m_waitUntil)
        return full;
    const auto left = duration_cast<milliseconds>(*m_waitUntil - steady_clock::now());
    return std::clamp(left, milliseconds(0), full);
}

Database::LockWaitLimit::LockWaitLimit(Database& db, std::chrono::milliseconds limit)
    : m_db(db)
    , m_outer(db.m_waitUntil) {
    const auto until = std::chrono::steady_clock::now() + limit;
    if (!m_outer || until < *m_outer)
        m_db.m_waitUntil = until;
}

Database::LockWaitLimit::~LockWaitLimit() {
    m_db.m_waitUntil = m_outer;
}

} // namespace ordisp
