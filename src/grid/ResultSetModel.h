#pragma once

#include "GridColumn.h"
#include "ResultSet.h"

#include <QAbstractTableModel>
#include <QList>
#include <QVariant>

#include <optional>

namespace ordisp {

// Read-only table model over a ResultSet. It keeps the rows it shows (sharing them with the result
// set, so keeping them costs nothing until the set is replaced), so that sync() can tell the view
// exactly what changed and nothing more: an unchanged result emits no signal at all, which keeps
// scroll position, selection and focus of a view untouched.
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
    // changed rows as dataChanged, rows matched by an integer `id` as removals and insertions (a
    // line that moved is taken out and put in at its new place), a reset when that would take
    // more signals than it saves. Returns whether anything was signalled.
    bool sync();

    // The stored value of a cell, before the column's format.
    QVariant rawValue(int row, int column) const;
    // A shown row's stored value of a result field, whether or not a column shows it.
    QVariant fieldValue(int row, const QString& field) const;

    // What a cell shows besides its text (Qt::BackgroundRole, Qt::FontRole), decided by the
    // window: (row, column, role) -> value, or an invalid value for the grid's own look.
    using CellLook = std::function<QVariant(int row, int column, int role)>;
    void setCellLook(CellLook look) { m_look = std::move(look); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // Where the grid's columns and the key are found in a result's rows.
    struct Layout {
        QList<int> fields;   // per grid column, -1 when the result lacks its field
        int key = -1;        // `id`
        QList<int> compared; // the fields shown and the key: what makes a row look different
        bool operator==(const Layout& other) const = default;
    };

    Layout layoutOf(const ResultSet* rs) const;
    QList<ResultRow> rowsOf(const ResultSet* rs) const;
    bool sameShown(const ResultRow& a, const ResultRow& b) const;
    std::optional<qint64> keyOf(const ResultRow& row) const;
    void resetTo(QList<ResultRow> rows, Layout layout);
    bool syncByKey(const QList<ResultRow>& fresh);
    bool emitChangedValues(const QList<ResultRow>& fresh);

    ResultSet* m_rs = nullptr;
    QList<GridColumn> m_columns;
    QList<ResultRow> m_rows;
    Layout m_layout;
    CellLook m_look;
};

} // namespace ordisp
