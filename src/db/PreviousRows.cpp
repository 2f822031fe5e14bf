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
    const std::optional<qint64> id = row.key(m_key);
    if (!id)
        return nullptr;
    qsizetype at = -1;
    if (m_next < m_rows->size() && idOf(m_rows->at(m_next)) == id) {
        at = m_next;
    } else {
        if (m_byId.isEmpty()) {
            m_byId.reserve(m_rows->size());
            for (qsizetype i = 0; i < m_rows->size(); ++i) {
                if (const auto key = idOf(m_rows->at(i)))
                    m_byId.insert(*key, i);
            }
        }
        at = m_byId.value(*id, -1);
    }
    if (at < 0)
        return nullptr;
    m_next = at + 1;
    const ResultRow& old = m_rows->at(at);
    if (old.size() != m_columns.size())
        return nullptr;
    for (int i = 0; i < int(old.size()); ++i) {
        if (!row.readsAs(i, m_columns.at(i).kind, old.at(i)))
            return nullptr;
    }
    return &old;
}

std::optional<qint64> PreviousRows::idOf(const ResultRow& row) const {
    return LineId(row.at(m_key));
}

} // namespace ordisp
