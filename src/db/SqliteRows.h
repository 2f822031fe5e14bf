#pragma once

#include "ResultSet.h"

#include <QHash>

#include <optional>

struct sqlite3_stmt;

namespace ordisp {

// The current row's column as the file's connection hands it out: date columns read as dates
// whatever form a terminal stored; what is no date stays as it is; a null is the kind's null.
QVariant SqliteValue(sqlite3_stmt* statement, int column, ColumnKind kind);

// The rows of the statement's last result, handed out again for rows that read the same: an
// unchanged list then allocates next to nothing, and the grid sees the very rows it shows. Rows
// are found by `id`, looked for first where the last match left off.
class PreviousRows {
public:
    PreviousRows(const ResultData* previous, const QList<ResultColumn>& columns);

    // The last result's row with the current row's id if it reads the same in every column.
    const ResultRow* match(sqlite3_stmt* statement);

private:
    std::optional<qint64> idOf(const ResultRow& row) const;

    const QList<ResultColumn> m_columns;
    const QList<ResultRow>* m_rows = nullptr;
    int m_key = -1;
    qsizetype m_next = 0;
    QHash<qint64, qsizetype> m_byId;
};

} // namespace ordisp
