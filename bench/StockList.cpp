#include "StockList.h"

#include <QSqlDatabase>
#include <QSqlError>

namespace ordisp {

StockList::StockList(const QString& driver, const QString& databaseName)
    : m_connectionName(QStringLiteral("bench-stock")) {
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, m_connectionName);
    db.setDatabaseName(databaseName);
    m_view.setModel(&m_model);
    m_view.setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view.setSelectionMode(QAbstractItemView::SingleSelection);
}

StockList::~StockList() {
    m_model.clear();
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool StockList::open(QString* error) {
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    return true;
}

void StockList::show(const QSize& size, const QPoint& at) {
    m_view.resize(size);
    m_view.move(at);
    m_view.show();
}

bool StockList::run(const QString& query, QString* error) {
    m_model.setQuery(query, QSqlDatabase::database(m_connectionName, false));
    if (m_model.lastError().isValid()) {
        *error = m_model.lastError().text();
        return false;
    }
    while (m_model.canFetchMore())
        m_model.fetchMore();
    return true;
}

} // namespace ordisp
