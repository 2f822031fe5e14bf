#include "ResultSetModel.h"

#include <QHash>

#include <algorithm>

namespace ordisp {

namespace {

// Above this many blocks of removed or inserted rows a reset is cheaper for a view than the
// single signals, each of which shifts every row below it.
constexpr int kMaxBlocks = 16;

// The positions in seq (entries below 0 skipped) of one longest strictly increasing run.
QList<bool> longestIncreasing(const QList<qsizetype>& seq) {
    QList<qsizetype> tailValue; // smallest tail of a run of each length
    QList<qsizetype> tailIndex; // where that tail is in seq
    QList<qsizetype> previous(seq.size(), -1);
    for (qsizetype i = 0; i < seq.size(); ++i) {
        if (seq.at(i) < 0)
            continue;
        const qsizetype length =
            std::lower_bound(tailValue.cbegin(), tailValue.cend(), seq.at(i)) - tailValue.cbegin();
        if (length > 0)
            previous[i] = tailIndex.at(length - 1);
        if (length == tailValue.size()) {
            tailValue.append(seq.at(i));
            tailIndex.append(i);
        } else {
            tailValue[length] = seq.at(i);
            tailIndex[length] = i;
        }
    }
    QList<bool> chosen(seq.size(), false);
    for (qsizetype i = tailIndex.isEmpty() ? -1 : tailIndex.last(); i >= 0; i = previous.at(i))
        chosen[i] = true;
    return chosen;
}

const QVariant& cell(const ResultRow& row, int field) {
    static const QVariant missing;
    return field < row.size() ? row.at(field) : missing;
}

// Equal values of one type: QVariant's own == takes the text "0" for the number 0, which a cell
// shows differently (a status code is shown as its name, a text as it is).
bool same(const QVariant& a, const QVariant& b) {
    return a.metaType() == b.metaType() && a.isNull() == b.isNull() && a == b;
}

// A row the database read as before is the very row shown.
bool sameRow(const ResultRow& a, const ResultRow& b) {
    return a.constData() == b.constData() && a.size() == b.size();
}

// Whether two rows hold the same key.
bool sameKey(const ResultRow& a, const ResultRow& b, int key) {
    return sameRow(a, b) || same(cell(a, key), cell(b, key));
}

int blocksOf(const QList<bool>& kept) {
    int blocks = 0;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        if (!kept.at(i) && (i == 0 || kept.at(i - 1)))
            ++blocks;
    }
    return blocks;
}

} // namespace

ResultSetModel::ResultSetModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void ResultSetModel::setColumns(const QList<GridColumn>& columns) {
    beginResetModel();
    m_columns = columns;
    m_layout = layoutOf(m_rs);
    m_rows = rowsOf(m_rs);
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
    m_layout = layoutOf(rs);
    m_rows = rowsOf(rs);
    endResetModel();
}

ResultSetModel::Layout ResultSetModel::layoutOf(const ResultSet* rs) const {
    Layout layout;
    if (!rs || !rs->isOpen())
        return layout;
    layout.fields.reserve(m_columns.size());
    for (const GridColumn& column : m_columns) {
        const int field = rs->columnIndex(column.field);
        layout.fields.append(field);
        if (field >= 0 && !layout.compared.contains(field))
            layout.compared.append(field);
    }
    layout.key = rs->columnIndex(QStringLiteral("id"));
    if (layout.key >= 0 && !layout.compared.contains(layout.key))
        layout.compared.append(layout.key);
    return layout;
}

QList<ResultRow> ResultSetModel::rowsOf(const ResultSet* rs) const {
    return rs && rs->isOpen() ? rs->rows() : QList<ResultRow>();
}

bool ResultSetModel::sameShown(const ResultRow& a, const ResultRow& b) const {
    if (sameRow(a, b))
        return true;
    for (int field : m_layout.compared) {
        if (!same(cell(a, field), cell(b, field)))
            return false;
    }
    return true;
}

std::optional<qint64> ResultSetModel::keyOf(const ResultRow& row) const {
    return LineId(cell(row, m_layout.key));
}

void ResultSetModel::resetTo(QList<ResultRow> rows, Layout layout) {
    beginResetModel();
    m_rows = std::move(rows);
    m_layout = std::move(layout);
    endResetModel();
}

bool ResultSetModel::sync() {
    Layout layout = layoutOf(m_rs);
    QList<ResultRow> fresh = rowsOf(m_rs);
    if (!(layout == m_layout)) {
        resetTo(std::move(fresh), std::move(layout));
        return true;
    }
    if (fresh.constData() == m_rows.constData() && fresh.size() == m_rows.size())
        return false;

    bool sameKeys = fresh.size() == m_rows.size();
    if (sameKeys && m_layout.key >= 0) {
        for (qsizetype i = 0; i < fresh.size() && sameKeys; ++i)
            sameKeys = sameKey(fresh.at(i), m_rows.at(i), m_layout.key);
    }
    bool changed = false;
    if (sameKeys) {
        changed = emitChangedValues(fresh);
    } else if (!syncByKey(fresh)) {
        resetTo(fresh, m_layout);
        changed = true;
    } else {
        changed = true;
    }
    // From now on the rows are shared with the new result; the old ones are let go.
    m_rows = std::move(fresh);
    return changed;
}

// Removes the rows whose key is gone or which moved, inserts the new and the moved ones; returns
// false (having changed nothing) when keys are missing or repeated, or a reset is cheaper. Rows at
// either end that kept their key are not looked at again: a refresh mostly changes a few lines.
bool ResultSetModel::syncByKey(const QList<ResultRow>& fresh) {
    const int key = m_layout.key;
    if (key < 0)
        return false;
    const qsizetype common = std::min(m_rows.size(), fresh.size());
    qsizetype head = 0;
    while (head < common && sameKey(m_rows.at(head), fresh.at(head), key))
        ++head;
    qsizetype tail = 0;
    while (tail < common - head &&
           sameKey(m_rows.at(m_rows.size() - 1 - tail), fresh.at(fresh.size() - 1 - tail), key))
        ++tail;
    const qsizetype oldEnd = m_rows.size() - tail;
    const qsizetype freshEnd = fresh.size() - tail;

    QHash<qint64, qsizetype> freshPos;
    freshPos.reserve(freshEnd - head);
    for (qsizetype i = head; i < freshEnd; ++i) {
        const std::optional<qint64> k = keyOf(fresh.at(i));
        if (!k || freshPos.contains(*k))
            return false;
        freshPos.insert(*k, i);
    }
    // Where each present row of the middle is among the fresh ones; -1 when it is gone.
    QList<qsizetype> target(oldEnd - head, -1);
    QHash<qint64, qsizetype> oldPos;
    oldPos.reserve(oldEnd - head);
    for (qsizetype i = head; i < oldEnd; ++i) {
        const std::optional<qint64> k = keyOf(m_rows.at(i));
        if (!k || oldPos.contains(*k))
            return false;
        oldPos.insert(*k, i);
        target[i - head] = freshPos.value(*k, -1);
    }
    // The rows that keep their order stay; a row that moved past them is taken out and put back.
    QList<bool> stays = longestIncreasing(target);
    QList<bool> freshStays(freshEnd - head, false);
    for (qsizetype i = 0; i < stays.size(); ++i) {
        if (stays.at(i))
            freshStays[target.at(i) - head] = true;
    }
    if (blocksOf(stays) + blocksOf(freshStays) > kMaxBlocks)
        return false;

    for (qsizetype i = stays.size() - 1; i >= 0; --i) {
        if (stays.at(i))
            continue;
        qsizetype first = i;
        while (first > 0 && !stays.at(first - 1))
            --first;
        beginRemoveRows(QModelIndex(), int(head + first), int(head + i));
        m_rows.remove(head + first, i - first + 1);
        endRemoveRows();
        i = first;
    }
    // m_rows[0..head + k) matches fresh[0..head + k) by key at every step.
    for (qsizetype k = 0; k < freshStays.size();) {
        if (freshStays.at(k)) {
            ++k;
            continue;
        }
        qsizetype last = k;
        while (last + 1 < freshStays.size() && !freshStays.at(last + 1))
            ++last;
        beginInsertRows(QModelIndex(), int(head + k), int(head + last));
        m_rows.insert(head + k, last - k + 1, ResultRow());
        std::copy(fresh.cbegin() + head + k, fresh.cbegin() + head + last + 1, m_rows.begin() + head + k);
        endInsertRows();
        k = last + 1;
    }
    emitChangedValues(fresh);
    return true;
}

// Rows at the same places as in fresh whose shown values differ are signalled, one block each.
bool ResultSetModel::emitChangedValues(const QList<ResultRow>& fresh) {
    const int lastColumn = int(m_columns.size()) - 1;
    bool changed = false;
    qsizetype i = 0;
    while (i < fresh.size()) {
        if (sameShown(m_rows.at(i), fresh.at(i))) {
            ++i;
            continue;
        }
        qsizetype last = i;
        while (last + 1 < fresh.size() && !sameShown(m_rows.at(last + 1), fresh.at(last + 1)))
            ++last;
        for (qsizetype j = i; j <= last; ++j)
            m_rows[j] = fresh.at(j);
        if (lastColumn >= 0)
            Q_EMIT dataChanged(index(int(i), 0), index(int(last), lastColumn));
        changed = true;
        i = last + 1;
    }
    return changed;
}

QVariant ResultSetModel::rawValue(int row, int column) const {
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_columns.size())
        return {};
    const int field = m_layout.fields.value(column, -1);
    return field < 0 ? QVariant() : m_rows.at(row).value(field);
}

QVariant ResultSetModel::fieldValue(int row, const QString& field) const {
    if (!m_rs || row < 0 || row >= m_rows.size())
        return {};
    const int index = m_rs->columnIndex(field);
    return index < 0 ? QVariant() : m_rows.at(row).value(index);
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
    if (role == Qt::BackgroundRole || role == Qt::FontRole)
        return m_look ? m_look(index.row(), index.column(), role) : QVariant();
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
