#include "WriteLogDb.h"
#include "SqliteConnection.h"

#include "Schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

namespace ordisp {

namespace {

std::atomic<int> g_counter{0};

// quote() shows NULL as NULL and text in quotes, so 2 and '2' stay apart in the log.
const char* const kLogDdl[] = {
    "CREATE TABLE writelog (seq INTEGER PRIMARY KEY AUTOINCREMENT, entry TEXT)",
    "CREATE TRIGGER log_ordisp_insert AFTER INSERT ON ordisp BEGIN "
    "INSERT INTO writelog (entry) VALUES ('INSERT ordisp id=' || quote(NEW.id)); END",
    "CREATE TRIGGER log_ordisp_update AFTER UPDATE ON ordisp BEGIN "
    "INSERT INTO writelog (entry) VALUES ('UPDATE ordisp id=' || quote(OLD.id) || ' status ' || "
    "quote(OLD.status) || '->' || quote(NEW.status) || "
    "CASE WHEN OLD.id IS NOT NEW.id OR OLD.monitornr IS NOT NEW.monitornr OR OLD.tisch IS NOT NEW.tisch "
    "OR OLD.gang IS NOT NEW.gang OR OLD.gast IS NOT NEW.gast OR OLD.menge IS NOT NEW.menge "
    "OR OLD.txt IS NOT NEW.txt OR OLD.insdate IS NOT NEW.insdate THEN ' AND MORE' ELSE '' END); END",
    "CREATE TRIGGER log_ordisp_delete AFTER DELETE ON ordisp BEGIN "
    "INSERT INTO writelog (entry) VALUES ('DELETE ordisp id=' || quote(OLD.id) || ' status ' || "
    "quote(OLD.status)); END",
    "CREATE TRIGGER log_system_insert AFTER INSERT ON system BEGIN "
    "INSERT INTO writelog (entry) VALUES ('INSERT system'); END",
    "CREATE TRIGGER log_system_update AFTER UPDATE ON system BEGIN "
    "INSERT INTO writelog (entry) VALUES ('UPDATE system'); END",
    "CREATE TRIGGER log_system_delete AFTER DELETE ON system BEGIN "
    "INSERT INTO writelog (entry) VALUES ('DELETE system'); END",
};

} // namespace

WriteLogDb::WriteLogDb()
    : m_connection(QStringLiteral("WriteLogDb%1").arg(++g_counter)) {
    create(QString());
}

WriteLogDb::WriteLogDb(const QString& ordispDdl)
    : m_connection(QStringLiteral("WriteLogDb%1").arg(++g_counter)) {
    create(ordispDdl);
}

WriteLogDb::~WriteLogDb() {
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
}

void WriteLogDb::create(const QString& ordispDdl) {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    DbError error;
    if (!SqliteConnection::createFile(path(), &error)) {
        m_error = error.description;
        return;
    }
    if (ordispDdl.isEmpty()) {
        Database schema(m_connection + QStringLiteral("Schema"));
        if (!schema.open(settings(), &error) || !EnsureOrderSchema(schema, nullptr, &error)) {
            m_error = error.description;
            return;
        }
    } else if (!exec(ordispDdl) ||
               !exec(QStringLiteral("CREATE TABLE system (moddate DATETIME, booltest SMALLINT)")) ||
               !exec(QStringLiteral("INSERT INTO system (moddate, booltest) VALUES (NULL, 0)"))) {
        return;
    }
    for (const char* ddl : kLogDdl) {
        if (!exec(QString::fromLatin1(ddl)))
            return;
    }
}

QString WriteLogDb::path() const {
    return m_dir.filePath(QStringLiteral("ZALPOS.MDB"));
}

ConnectionSettings WriteLogDb::settings() const {
    ConnectionSettings s;
    s.type = kDbTypeJet;
    s.file = path();
    return s;
}

bool WriteLogDb::openSide() {
    QSqlDatabase db = QSqlDatabase::contains(m_connection)
                          ? QSqlDatabase::database(m_connection, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (db.isOpen())
        return true;
    db.setDatabaseName(path());
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open()) {
        m_error = db.lastError().text();
        return false;
    }
    return true;
}

bool WriteLogDb::exec(const QString& sql) {
    if (!openSide())
        return false;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(sql)) {
        m_error = query.lastError().text() + QStringLiteral(" in: ") + sql;
        return false;
    }
    return true;
}

QVariant WriteLogDb::scalar(const QString& sql) {
    if (!openSide())
        return {};
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(sql)) {
        m_error = query.lastError().text() + QStringLiteral(" in: ") + sql;
        return {};
    }
    return query.next() ? query.value(0) : QVariant();
}

QStringList WriteLogDb::writes() {
    QStringList entries;
    if (!openSide())
        return {QStringLiteral("cannot read the log: ") + m_error};
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("SELECT entry FROM writelog ORDER BY seq")))
        return {QStringLiteral("cannot read the log: ") + query.lastError().text()};
    while (query.next())
        entries << query.value(0).toString();
    return entries;
}

void WriteLogDb::clearWrites() {
    exec(QStringLiteral("DELETE FROM writelog"));
}

QString WriteLogDb::schema() {
    if (!openSide())
        return {};
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(QStringLiteral("SELECT type, name, sql FROM sqlite_master ORDER BY type, name")))
        return query.lastError().text();
    QStringList lines;
    while (query.next())
        lines << query.value(0).toString() + QLatin1Char(' ') + query.value(1).toString() + QLatin1Char(' ') +
                     query.value(2).toString();
    return lines.join(QLatin1Char('\n'));
}

} // namespace ordisp
