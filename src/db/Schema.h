#pragma once

#include "Database.h"
#include "DbError.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace ordisp {

// One order line as a terminal (or the simulator) writes it.
struct OrderInput {
    qint32 monitorNr = 0;
    qint32 table = 0;
    qint32 course = 0;
    qint32 guest = 0;
    double quantity = 1.0;
    QString text;                  // a null QString is stored as NULL
    std::optional<int> status = 0; // nullopt is stored as NULL
    QDateTime insdate;             // invalid is stored as NULL
};

// For the administrator's tool: creates the tables ordisp (with an index on monitornr, tisch) and
// system (with its one row) where they are missing, and adds the columns that existing ones lack.
// Existing columns and rows are never changed. created receives what was made, e.g.
// "Tabelle ordisp", "Spalte ordisp.gast". Works on the SQLite file, PostgreSQL and Microsoft SQL
// Server.
bool EnsureOrderSchema(Database& db, QStringList* created = nullptr, DbError* error = nullptr);

// The nine columns of ordisp that the display reads.
QStringList OrderTableColumns();

// Which of wanted the table lacks (names compare case-insensitively). False when the table cannot
// be read, e.g. because it does not exist.
bool MissingColumns(Database& db, const QString& table, const QStringList& wanted, QStringList* missing,
                    DbError* error = nullptr);

// Whether the database holds an order table with the nine columns the display reads. A file
// without it is no order database, whatever else it holds; the error names what is missing.
bool HasOrderTable(Database& db, DbError* error = nullptr);

// Inserts one order line; id is assigned by the database. The display itself never inserts.
bool InsertOrder(Database& db, const OrderInput& order, DbError* error = nullptr);

} // namespace ordisp
