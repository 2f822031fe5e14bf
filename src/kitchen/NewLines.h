#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

namespace ordisp {

// The lines that came into a list since it was last read, each marked until the cook first
// selects it or for a minute. A list read for the first time, or for another view (another table
// filter), marks nothing: its lines did not arrive, they came into sight.
class NewLines {
public:
    static constexpr qint64 kMarkedSeconds = 60;

    // Takes the ids the list holds now; returns how many of them arrived since the last reading.
    int observe(const QList<qint64>& ids, const QString& view, const QDateTime& now);
    bool isMarked(qint64 id) const { return m_marked.contains(id); }
    // Returns whether the line was marked.
    bool unmark(qint64 id) { return m_marked.remove(id) > 0; }
    // Ends the marks older than a minute; returns whether any ended.
    bool expire(const QDateTime& now);

private:
    bool m_started = false;
    QString m_view;
    QSet<qint64> m_listed;
    QHash<qint64, QDateTime> m_marked;
};

} // namespace ordisp
