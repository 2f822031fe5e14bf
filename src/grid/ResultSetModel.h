#pragma once

#include "GridColumn.h"

#include <QAbstractTableModel>
#include <QList>
#include <QVariant>

namespace ordisp {

class ResultSet;

// Read-only table model over a ResultSet. It keeps its own copy of the rows it shows, so that
// sync() can tell the view exactly what changed and nothing more: an unchanged result emits no
// signal at all, which keeps scroll position, selection and focus of a view untouched.
class ResultSetModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ResultSetModel(QObject* parent = nullptr);

    void setColumns(const QList<GridColumn>& columns);
    // Replaces one column's display format; the cells of that column are shown anew.
    void setColumnFormat(int column, std::function<QVariant(const QVariant&)> format);
    const QList<GridColumn>& columns() const { return m_columns; }

    // Shows rs (may be null) from now on; resets the model.
    void setResultSet(ResultSet* rs);
    ResultSet* resultSet() const { return m_rs; }

    // Brings the model up to date with the result set's present rows, in place where it can:
    // changed rows as dataChanged, rows matched by `id` as inserts and removals, a reset otherwise.
    void sync();

    // The stored value of a cell, before the column's format.
    QVariant rawValue(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row {
        QVariant key; // value of `id`, invalid when the result has no such column
        QList<QVariant> values;
        bool operator==(const Row& other) const = default;
    };

    QList<Row> snapshot() const;
    void resetTo(QList<Row> rows);
    bool syncByKey(const QList<Row>& fresh);
    void emitChangedValues(const QList<Row>& fresh);

    ResultSet* m_rs = nullptr;
    QList<GridColumn> m_columns;
    QList<Row> m_rows;
};

} // namespace ordisp
