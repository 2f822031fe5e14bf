#include "Cancellations.h"

#include "OrderSql.h"

#include <QHash>

namespace ordisp {

namespace {

int FieldIndex(const QList<ResultColumn>& columns, const QString& name) {
    for (int i = 0; i < columns.size(); ++i) {
        if (columns.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString Shown(const ResultRow& row, int field) {
    return field < 0 ? QString() : row.value(field).toString();
}

} // namespace

int Cancellations::observe(const ResultSet& list, const QString& view, const QDateTime& now) {
    // An unchanged reading shares the rows of the last one: nothing can have gone.
    if (m_started && view == m_view && list.rows().isSharedWith(m_rows))
        return 0;
    int cancelled = 0;
    const int id = FieldIndex(m_columns, QStringLiteral("id"));
    if (m_started && view == m_view && id >= 0) {
        QSet<qint64> listed;
        const int nowId = list.columnIndex(QStringLiteral("id"));
        for (const ResultRow& row : list.rows()) {
            if (const auto lineId = LineId(row.value(nowId)))
                listed.insert(*lineId);
        }
        const int status = FieldIndex(m_columns, QStringLiteral("status"));
        const int tisch = FieldIndex(m_columns, QStringLiteral("tisch"));
        const int gang = FieldIndex(m_columns, QStringLiteral("gang"));
        const int menge = FieldIndex(m_columns, QStringLiteral("menge"));
        const int txt = FieldIndex(m_columns, QStringLiteral("txt"));
        for (const ResultRow& row : std::as_const(m_rows)) {
            const auto lineId = LineId(row.value(id));
            if (!lineId || listed.contains(*lineId))
                continue;
            if (m_deletedHere.remove(*lineId))
                continue;
            bool number = false;
            if (status >= 0 && row.value(status).toDouble(&number) == double(StatusDone) && number)
                continue;
            const QString text = QStringLiteral("Storniert: Tisch %1, Gang %2, %3 %4")
                                     .arg(Shown(row, tisch), Shown(row, gang), Shown(row, menge),
                                          TrimSpaces(Shown(row, txt)).simplified());
            m_cancelled.append({text, now});
            ++cancelled;
        }
    }
    // Deletes of lines this reading did not see (another view) can no longer be taken for anything.
    m_deletedHere.clear();
    m_cancelled.removeIf([this, &now](const Cancelled& c) { return c.since.secsTo(now) >= m_seconds; });
    m_started = true;
    m_view = view;
    m_columns = list.columns();
    m_rows = list.rows();
    return cancelled;
}

QStringList Cancellations::shown(const QDateTime& now) const {
    QStringList texts;
    for (auto it = m_cancelled.crbegin(); it != m_cancelled.crend() && texts.size() < kMostShown; ++it) {
        if (it->since.secsTo(now) < m_seconds)
            texts.append(it->text);
    }
    return texts;
}

} // namespace ordisp
