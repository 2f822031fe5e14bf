#include "PreviousRows.h"

namespace ordisp {

PreviousRows::PreviousRows(const ResultData* previous, const QList<ResultColumn>& columns)
    : m_columns(columns) {
    if (previous == nullptr || previous->columns.size() != columns.size())
        return;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const ResultColumn& was = previous->columns.at(i);
        if (was.name != columns.at(i).name || was.kind != columns.at(i).kind)
            return;
        if (m_key < 0 && was.name.compare(QLatin1String("id"), Qt::CaseInsensitive) == 0)
            m_key = int(i);
    }
    if (m_key >= 0)
        m_rows = &previous->rows;
}

const ResultRow* PreviousRows::match(const RowCells& row) {
    if (m_rows == nullptr)
        return nullptr;
    // Rows mostly come in the last result's order: the next one is tried first, its id among the
    // cells compared, so that no id is read apart. Its id must be a whole number, as below.
    const qsizetype next = m_next;
    if (next < m_rows->size()) {
        const QVariant& id = m_rows->at(next).value(m_key);
        const int type = id.metaType().id();
        if ((type == QMetaType::LongLong || type == QMetaType::Int) && !id.isNull()) {
            if (const ResultRow* same = take(row, next))
                return same;
        }
    }
    const std::optional<qint64> id = row.key(m_key);
    if (!id)
        return nullptr;
    if (m_byId.isEmpty()) {
        m_byId.reserve(m_rows->size());
        for (qsizetype i = 0; i < m_rows->size(); ++i) {
            if (const auto key = idOf(m_rows->at(i)))
                m_byId.insert(*key, i);
        }
    }
    const qsizetype at = m_byId.value(*id, -1);
    if (at < 0)
        return nullptr;
    m_next = at + 1;
    // The next row, when it is this one, was compared above.
    return at == next ? nullptr : take(row, at);
}

const ResultRow* PreviousRows::take(const RowCells& row, qsizetype at) {
    const ResultRow& old = m_rows->at(at);
    if (old.size() != m_columns.size() || !row.readsAs(old, m_columns))
        return nullptr;
    m_next = at + 1;
    return &old;
}

std::optional<qint64> PreviousRows::idOf(const ResultRow& row) const {
    return LineId(row.at(m_key));
}

} // namespace ordisp
