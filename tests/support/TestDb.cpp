#include "TestDb.h"
#include "SqliteConnection.h"

#include "Schema.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <atomic>
#include <cstdio>

namespace ordisp {

namespace {
std::atomic<int> g_counter{0};

QVariant storable(const QVariant& value) {
    if (!value.isValid())
        return QVariant(QMetaType::fromType<QString>());
    if (value.metaType().id() == QMetaType::QDateTime)
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return value;
}
} // namespace

TestDb::TestDb()
    : m_connection(QStringLiteral("TestDb%1").arg(++g_counter)) {
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    // The tables as the administrator's tool creates them.
    DbError error;
    if (!SqliteConnection::createFile(path(), &error)) {
        m_error = error.description;
        return;
    }
    {
        Database schema(m_connection + QStringLiteral("Schema"));
        if (!schema.open(settings(), &error) || !EnsureOrderSchema(schema, nullptr, &error)) {
            m_error = error.description;
            return;
        }
    }
    openSide();
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
    if (!db.open()) {
        m_error = db.lastError().text();
        return false;
    }
    return true;
}

void TestDb::closeSide() {
    if (QSqlDatabase::contains(m_connection))
        QSqlDatabase::database(m_connection, false).close();
}

bool TestDb::exec(const QString& sql) {
    if (!openSide())
        return false;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(sql)) {
        m_error = query.lastError().text() + QStringLiteral(" in: ") + sql;
        return false;
    }
    return true;
}

QVariant TestDb::scalar(const QString& sql) {
    if (!openSide())
        return {};
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (!query.exec(sql)) {
        m_error = query.lastError().text() + QStringLiteral(" in: ") + sql;
        return {};
    }
    return query.next() ? query.value(0) : QVariant();
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

int TestDb::countOrders(const QString& where) {
    QString sql = QStringLiteral("SELECT count(*) FROM ordisp");
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    return scalar(sql).toInt();
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
    query.addBindValue(storable(order.tisch));
    query.addBindValue(storable(order.gang));
    query.addBindValue(storable(order.gast));
    query.addBindValue(storable(order.menge));
    query.addBindValue(storable(order.txt));
    query.addBindValue(storable(order.status));
    query.addBindValue(storable(order.insdate));
    if (!query.exec()) {
        m_error = query.lastError().text();
        return -1;
    }
    return query.lastInsertId().toLongLong();
}

} // namespace ordisp
