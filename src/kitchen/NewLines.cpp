#include "NewLines.h"

namespace ordisp {

int NewLines::observe(const QList<qint64>& ids, const QString& view, const QDateTime& now) {
    const bool sameView = m_started && view == m_view;
    int arrived = 0;
    QSet<qint64> listed;
    listed.reserve(ids.size());
    for (const qint64 id : ids) {
        listed.insert(id);
        if (sameView && !m_listed.contains(id)) {
            m_marked.insert(id, now);
            ++arrived;
        }
    }
    // A mark ends with its line.
    for (auto it = m_marked.begin(); it != m_marked.end();)
        it = listed.contains(it.key()) || !sameView ? std::next(it) : m_marked.erase(it);
    m_listed = std::move(listed);
    m_view = view;
    m_started = true;
    return arrived;
}

bool NewLines::expire(const QDateTime& now) {
    const qsizetype before = m_marked.size();
    m_marked.removeIf([&now](const auto& mark) { return mark.value().secsTo(now) >= kMarkedSeconds; });
    return m_marked.size() != before;
}

} // namespace ordisp
