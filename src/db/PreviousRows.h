#pragma once

#include "ResultSet.h"

#include <QHash>

#include <optional>

namespace ordisp {

// The row a back end is reading, before any value is made of it.
class RowCells {
public:
    virtual ~RowCells() = default;
    // The column as a line id: a whole number stored as one; none otherwise.
    virtual std::optional<qint64> key(int column) const = 0;
    // Whether every column would read as exactly old's: the same type, value and null. Asked
    // once a row, so that the cells are compared without a call each.
    virtual bool readsAs(const ResultRow& old, const QList<ResultColumn>& columns) const = 0;
};

// The rows of the statement's last result, handed out again for rows that read the same: an
// unchanged list then allocates next to nothing, and the grid sees the very rows it shows. Rows
// are found by `id`, looked for first where the last match left off. Both back ends use it, so
// that a row is taken over by one rule.
class PreviousRows {
public:
    PreviousRows(const ResultData* previous, const QList<ResultColumn>& columns);

    // The last result's row with the current row's id if it reads the same in every column.
    const ResultRow* match(const RowCells& row);

private:
    std::optional<qint64> idOf(const ResultRow& row) const;
    const ResultRow* take(const RowCells& row, qsizetype at);

    const QList<ResultColumn> m_columns;
    const QList<ResultRow>* m_rows = nullptr;
    int m_key = -1;
    qsizetype m_next = 0;
    QHash<qint64, qsizetype> m_byId;
};

} // namespace ordisp
