#pragma once

#include "PreviousRows.h"

#include <optional>

struct sqlite3_stmt;

namespace ordisp {

// The current row's column as the file's connection hands it out: date columns read as dates
// whatever form a terminal stored; what is no date stays as it is; a null is the kind's null.
QVariant SqliteValue(sqlite3_stmt* statement, int column, ColumnKind kind);

// The current row of a statement, for PreviousRows.
class SqliteCells final : public RowCells {
public:
    explicit SqliteCells(sqlite3_stmt* statement)
        : m_statement(statement) {}
    std::optional<qint64> key(int column) const override;
    bool readsAs(const ResultRow& old, const QList<ResultColumn>& columns) const override;

private:
    sqlite3_stmt* m_statement;
};

} // namespace ordisp
