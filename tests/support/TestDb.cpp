#include "TestDb.h"
#include "SqliteConnection.h"

#include "Schema.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

#include <atomic>
#include <cstdio>

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

QVariant storable(const QVariant& value) {
    if (!value.isValid())
        return QVariant(QMetaType::fromType<QString>());
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return value;
}
} // namespace

TestDb::TestDb(const QString& ordispDdl)
    : m_connection(QStringLiteral("TestDb%1").arg(++g_counter)) {
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

TestDb::~TestDb() {
    closeSide();
    QSqlDatabase::removeDatabase(m_connection);
}

QString TestDb::path() const {
    return m_dir.filePath(QStringLiteral("ZALPOS.MDB"));
}

ConnectionSettings TestDb::settings() const {
    ConnectionSettings s;
    s.type = kDbTypeJet;
    s.file = path();
    return s;
}

bool TestDb::openSide() {
    QSqlDatabase db = QSqlDatabase::contains(m_connection)
                          ? QSqlDatabase::database(m_connection, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (db.isOpen())
        return true;
    db.setDatabaseName(path());
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open())
        m_error = db.lastError().text();
    return db.isOpen();
}

void TestDb::closeSide() {
    if (QSqlDatabase::contains(m_connection))
        QSqlDatabase::database(m_connection, false).close();
}

QList<QVariantList> TestDb::rows(const QString& sql) {
    QList<QVariantList> result;
    if (!openSide())
        return result;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(sql)) {
        m_error = query.lastError().text() + QStringLiteral(" in: ") + sql;
        return result;
    }
    while (query.next()) {
        QVariantList row;
        for (int i = 0; i < query.record().count(); ++i)
            row << query.value(i);
        result << row;
    }
    return result;
}

bool TestDb::exec(const QString& sql) {
    m_error.clear();
    rows(sql);
    return m_error.isEmpty();
}

QVariant TestDb::scalar(const QString& sql) {
    const QList<QVariantList> result = rows(sql);
    return result.isEmpty() || result.first().isEmpty() ? QVariant() : result.first().first();
}

QStringList TestDb::writes() {
    QStringList entries;
    for (const QVariantList& row : rows(QStringLiteral("SELECT entry FROM writelog ORDER BY seq")))
        entries << row.first().toString();
    return entries;
}

void TestDb::clearWrites() {
    exec(QStringLiteral("DELETE FROM writelog"));
}

QString TestDb::changedCopy(const QString& sql) {
    const QString copy = path() + QStringLiteral(".neu");
    QFile::remove(copy);
    if (!QFile::copy(path(), copy)) {
        m_error = QStringLiteral("cannot copy to ") + copy;
        return QString();
    }
    Database backup(m_connection + QStringLiteral("Copy"));
    ConnectionSettings settings = this->settings();
    settings.file = copy;
    DbError error;
    if (!backup.open(settings, &error) || !backup.exec(sql, &error)) {
        m_error = error.description;
        return QString();
    }
    return copy;
}

bool TestDb::moveOver(const QString& copy) {
    closeSide();
    if (std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path()).constData()) != 0) {
        m_error = QStringLiteral("cannot move ") + copy;
        return false;
    }
    return true;
}

qint64 TestDb::addOrder(const Order& order) {
    if (!openSide())
        return -1;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(
        QStringLiteral("INSERT INTO ordisp (id, monitornr, tisch, gang, gast, menge, txt, status, insdate) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(order.id > 0 ? QVariant(order.id) : QVariant(QMetaType::fromType<qlonglong>()));
    query.addBindValue(order.monitornr);
    for (const QVariant& value :
         {order.tisch, order.gang, order.gast, order.menge, order.txt, order.status, order.insdate})
        query.addBindValue(storable(value));
    if (!query.exec()) {
        m_error = query.lastError().text();
        return -1;
    }
    return query.lastInsertId().toLongLong();
}

FileLock::FileLock(const QString& path) {
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK)
        m_held = sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

FileLock::~FileLock() {
    if (m_releaser.joinable())
        m_releaser.join();
    release();
    sqlite3_close(m_db);
}

void FileLock::release() {
    if (m_held.exchange(false))
        sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
}

void FileLock::releaseAfter(std::chrono::milliseconds wait) {
    m_releaser = std::thread([this, wait] {
        std::this_thread::sleep_for(wait);
        release();
    });
}

} // namespace ordisp
