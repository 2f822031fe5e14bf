#include "Database.h"

#include "OdbcConnection.h"
#include "SqliteConnection.h"

#include <QSqlDatabase>

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
        m_connection = SqliteConnection::open(m_name, m_settings, error);
    }
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
        SetError(error, -1, NotOpenText(), m_source);
        return false;
    }
    return m_connection->run(sql, out, error, previous);
}

std::optional<DataStamp> Database::dataStamp() {
    return isOpen() ? m_connection->dataStamp() : std::nullopt;
}

} // namespace ordisp
