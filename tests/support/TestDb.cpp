#include "TestDb.h"
#include "SqliteConnection.h"

#include "Schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>

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
