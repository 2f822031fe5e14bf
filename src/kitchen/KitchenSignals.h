#pragma once

#include "AppConfig.h"
#include "Cancellations.h"
#include "NewLines.h"
#include "WaitColours.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;

namespace ordisp {

class CancelStrip;
class Chime;
class Clock;
class DataGrid;
class ResultSet;

// The kitchen's opt-in signals on the lists of both windows: waiting-time colours, new lines in
// bold with a chime, and the strip of cancelled lines. With none switched on it changes nothing.
class KitchenSignals final : public QObject {
    Q_OBJECT
public:
    // The strip, when cancellations are on, belongs to `window`.
    KitchenSignals(const KitchenSettings& settings, const Clock& clock, QWidget* window);
    ~KitchenSignals() override;

    const KitchenSettings& settings() const { return m_settings; }

    // From now on the grid shows waiting colours in colourColumn and new lines in bold.
    void attach(DataGrid* grid, int colourColumn);
    // A list of the main window was read, before the grid shows it: marks arrived lines, notes
    // cancelled ones, chimes once for either.
    void listRead(const ResultSet& list, const QString& view);
    // This display deletes the line: its leaving is no cancellation.
    void deletedHere(qint64 id);
    // The timer's tick: follows the clock without reading the database.
    void tick();
    // Puts the strip, while it has lines, over the top of the grid's place and the grid below it.
    void placeStrip(DataGrid* grid);

    CancelStrip* strip() const { return m_strip; }
    Chime* chime() const { return m_chime; }

Q_SIGNALS:
    // The strip got or lost lines; the window lays itself out again.
    void stripChanged();

private:
    void updateStrip();
    void redrawGrids();
    bool newSignal() const { return m_settings.newSignal; }

    KitchenSettings m_settings;
    const Clock& m_clock;
    WaitColours m_colours;
    NewLines m_new;
    std::unique_ptr<Cancellations> m_cancellations;
    CancelStrip* m_strip = nullptr;
    Chime* m_chime = nullptr;
    QList<QPointer<DataGrid>> m_grids;
    // The clock at the last tick or reading: what the colours are drawn for.
    QDateTime m_now;
    QList<ResultRow> m_lastRows;
};

} // namespace ordisp
