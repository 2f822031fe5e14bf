#pragma once

#include "ResultSet.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace ordisp {

// Lines that a terminal cancelled: lines not done at one reading of a list and gone at the next of
// the same view, unless this display deleted them. Each is shown for a while as
// "Storniert: Tisch T, Gang G, <Menge> <Bezeichnung>".
class Cancellations {
public:
    static constexpr int kMostShown = 3;

    explicit Cancellations(qint32 seconds)
        : m_seconds(seconds) {}

    // Compares the list with its last reading; returns how many lines were cancelled since.
    int observe(const ResultSet& list, const QString& view, const QDateTime& now);
    // A delete that this display runs; the line's leaving is no cancellation.
    void deletedHere(qint64 id) { m_deletedHere.insert(id); }
    // The texts to show at now, newest first, at most kMostShown.
    QStringList shown(const QDateTime& now) const;

private:
    struct Cancelled {
        QString text;
        QDateTime since;
    };

    qint32 m_seconds;
    bool m_started = false;
    QString m_view;
    QList<ResultColumn> m_columns;
    QList<ResultRow> m_rows;
    QSet<qint64> m_deletedHere;
    QList<Cancelled> m_cancelled; // oldest first
};

} // namespace ordisp
