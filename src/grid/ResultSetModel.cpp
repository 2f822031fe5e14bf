#include "ResultSetModel.h"

#include "ResultSet.h"

#include <QHash>
#include <QSet>

namespace ordisp {

namespace {
// QVariant has no qHash; the key's text is unique enough to find a row again.
QString keyText(const QVariant& key) {
    return key.toString();
}
} // namespace

ResultSetModel::ResultSetModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void ResultSetModel::setColumns(const QList<GridColumn>& columns) {
    beginResetModel();
    m_columns = columns;
    m_rows = snapshot();
    endResetModel();
}

void ResultSetModel::setColumnFormat(int column, std::function<QVariant(const QVariant&)> format) {
    if (column < 0 || column >= m_columns.size())
        return;
    m_columns[column].format = std::move(format);
    if (!m_rows.isEmpty())
        Q_EMIT dataChanged(index(0, column), index(int(m_rows.size()) - 1, column), {Qt::DisplayRole});
}

void ResultSetModel::setResultSet(ResultSet* rs) {
    beginResetModel();
    m_rs = rs;
    m_rows = snapshot();
    endResetModel();
}

QList<ResultSetModel::Row> ResultSetModel::snapshot() const {
    QList<Row> rows;
    if (!m_rs || !m_rs->isOpen())
        return rows;
    QList<int> fieldIndex;
    fieldIndex.reserve(m_columns.size());
    for (const GridColumn& column : m_columns)
        fieldIndex.append(m_rs->columnIndex(column.field));
    const int keyIndex = m_rs->columnIndex(QStringLiteral("id"));

    rows.reserve(m_rs->rowCount());
    for (const ResultRow& source : m_rs->rows()) {
        Row row;
        if (keyIndex >= 0 && keyIndex < source.size())
            row.key = source.at(keyIndex);
        row.values.reserve(fieldIndex.size());
        for (int i : fieldIndex)
            row.values.append(i >= 0 && i < source.size() ? source.at(i) : QVariant());
        rows.append(std::move(row));
    }
    return rows;
}

void ResultSetModel::resetTo(QList<Row> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void ResultSetModel::sync() {
    QList<Row> fresh = snapshot();
    if (fresh == m_rows)
        return;

    if (fresh.size() == m_rows.size()) {
        bool sameKeys = true;
        for (qsizetype i = 0; i < fresh.size() && sameKeys; ++i)
            sameKeys = fresh.at(i).key == m_rows.at(i).key;
        if (sameKeys) {
            emitChangedValues(fresh);
            return;
        }
    }
    if (!syncByKey(fresh))
        resetTo(std::move(fresh));
}

// Removes the rows whose key is gone and inserts the new ones, as long as the rows that stay
// keep their order; returns false (having changed nothing) when that does not hold.
bool ResultSetModel::syncByKey(const QList<Row>& fresh) {
    QHash<QString, qsizetype> freshPos;
    for (qsizetype i = 0; i < fresh.size(); ++i) {
        const QVariant& key = fresh.at(i).key;
        if (!key.isValid() || key.isNull() || freshPos.contains(keyText(key)))
            return false;
        freshPos.insert(keyText(key), i);
    }
    QSet<QString> oldKeys;
    qsizetype lastPos = -1;
    for (const Row& row : std::as_const(m_rows)) {
        if (!row.key.isValid() || row.key.isNull() || oldKeys.contains(keyText(row.key)))
            return false;
        oldKeys.insert(keyText(row.key));
        const auto it = freshPos.constFind(keyText(row.key));
        if (it == freshPos.constEnd())
            continue;
        if (it.value() <= lastPos)
            return false; // rows that stay changed their order
        lastPos = it.value();
    }

    // Removals from the bottom up, one signal per contiguous block.
    for (qsizetype i = m_rows.size() - 1; i >= 0; --i) {
        if (freshPos.contains(keyText(m_rows.at(i).key)))
            continue;
        qsizetype first = i;
        while (first > 0 && !freshPos.contains(keyText(m_rows.at(first - 1).key)))
            --first;
        beginRemoveRows(QModelIndex(), int(first), int(i));
        m_rows.remove(first, i - first + 1);
        endRemoveRows();
        i = first;
    }

    // Insertions top down: m_rows[0..k) matches fresh[0..k) by key at every step.
    for (qsizetype k = 0; k < fresh.size();) {
        if (k < m_rows.size() && m_rows.at(k).key == fresh.at(k).key) {
            ++k;
            continue;
        }
        qsizetype last = k;
        while (last + 1 < fresh.size() && !oldKeys.contains(keyText(fresh.at(last + 1).key)))
            ++last;
        beginInsertRows(QModelIndex(), int(k), int(last));
        for (qsizetype j = k; j <= last; ++j)
            m_rows.insert(j, fresh.at(j));
        endInsertRows();
        k = last + 1;
    }

    emitChangedValues(fresh);
    return true;
}

void ResultSetModel::emitChangedValues(const QList<Row>& fresh) {
    const int lastColumn = int(m_columns.size()) - 1;
    qsizetype i = 0;
    while (i < fresh.size()) {
        if (m_rows.at(i) == fresh.at(i)) {
            ++i;
            continue;
        }
        qsizetype last = i;
        while (last + 1 < fresh.size() && !(m_rows.at(last + 1) == fresh.at(last + 1)))
            ++last;
        for (qsizetype j = i; j <= last; ++j)
            m_rows[j] = fresh.at(j);
        if (lastColumn >= 0)
            Q_EMIT dataChanged(index(int(i), 0), index(int(last), lastColumn));
        i = last + 1;
    }
}

QVariant ResultSetModel::rawValue(int row, int column) const {
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_columns.size())
        return {};
    return m_rows.at(row).values.value(column);
}

int ResultSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ResultSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant ResultSetModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const QVariant raw = rawValue(index.row(), index.column());
    const GridColumn& column = m_columns.at(index.column());
    return column.format ? column.format(raw) : raw;
}

QVariant ResultSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < m_columns.size() ? QVariant(m_columns.at(section).caption)
                                                          : QVariant();
    return section + 1;
}

Qt::ItemFlags ResultSetModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace ordisp
