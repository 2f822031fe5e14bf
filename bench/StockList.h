#pragma once

#include <QSqlQueryModel>
#include <QString>
#include <QTableView>

namespace ordisp {

// What a typical Qt program does to show a query: a QSqlQueryModel set to it behind a QTableView,
// every row fetched, on a connection of its own.
class StockList final {
public:
    // driver: "QSQLITE" or "QODBC"; databaseName: the file, or the ODBC connection text.
    StockList(const QString& driver, const QString& databaseName);
    ~StockList();
    StockList(const StockList&) = delete;
    StockList& operator=(const StockList&) = delete;

    bool open(QString* error);
    // Shows the view at the given size and place on the screen.
    void show(const QSize& size, const QPoint& at);
    // Sets the query anew and fetches every row; the caller lets the view update.
    bool run(const QString& query, QString* error);

private:
    QString m_connectionName;
    QSqlQueryModel m_model;
    QTableView m_view;
};

} // namespace ordisp
