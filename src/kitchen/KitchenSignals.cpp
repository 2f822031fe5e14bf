#include "KitchenSignals.h"

#include "CancelStrip.h"
#include "Chime.h"
#include "Clock.h"
#include "DataGrid.h"
#include "ResultSet.h"
#include "ResultSetModel.h"

#include <QBrush>
#include <QHeaderView>

namespace ordisp {

KitchenSignals::KitchenSignals(const KitchenSettings& settings, const Clock& clock, QWidget* window)
    : QObject(window)
    , m_settings(settings)
    , m_clock(clock)
    , m_colours(settings.yellowMinutes, settings.redMinutes)
    , m_now(clock.now()) {
    if (settings.cancelSeconds) {
        m_cancellations = std::make_unique<Cancellations>(*settings.cancelSeconds);
        m_strip = new CancelStrip(window);
    }
    if (settings.newSignal)
        m_chime = new Chime(this);
}

KitchenSignals::~KitchenSignals() {
    // A grid of the detail window may outlive the main window's signals by a moment.
    for (const QPointer<DataGrid>& grid : std::as_const(m_grids)) {
        if (grid)
            grid->resultModel()->setCellLook({});
    }
}

void KitchenSignals::attach(DataGrid* grid, int colourColumn) {
    if (!m_colours.isOn() && !newSignal())
        return;
    m_grids.removeAll(nullptr);
    m_grids.append(grid);
    const ResultSetModel* model = grid->resultModel();
    grid->resultModel()->setCellLook([this, grid, model, colourColumn](int row, int column, int role) {
        if (role == Qt::BackgroundRole && column == colourColumn) {
            const WaitBand band = m_colours.band(model->fieldValue(row, QStringLiteral("status")),
                                                 model->fieldValue(row, QStringLiteral("insdate")), m_now);
            return band == WaitBand::None ? QVariant() : QVariant(QBrush(WaitColours::colour(band)));
        }
        if (role == Qt::FontRole && newSignal()) {
            const auto id = LineId(model->fieldValue(row, QStringLiteral("id")));
            if (id && m_new.isMarked(*id)) {
                QFont bold = grid->font();
                bold.setBold(true);
                return QVariant(bold);
            }
        }
        return QVariant();
    });
    if (newSignal()) {
        connect(grid, &DataGrid::lineChosen, this, [this, model](int row) {
            const auto id = LineId(model->fieldValue(row, QStringLiteral("id")));
            if (id && m_new.unmark(*id))
                redrawGrids();
        });
    }
}

void KitchenSignals::listRead(const ResultSet& list, const QString& view) {
    if (!m_settings.any())
        return;
    m_now = m_clock.now();
    int arrived = 0;
    int cancelled = 0;
    if (newSignal() && !list.rows().isSharedWith(m_lastRows)) {
        const int idField = list.columnIndex(QStringLiteral("id"));
        QList<qint64> ids;
        ids.reserve(list.rowCount());
        for (const ResultRow& row : list.rows()) {
            if (const auto id = LineId(row.value(idField)))
                ids.append(*id);
        }
        arrived = m_new.observe(ids, view, m_now);
        m_lastRows = list.rows();
    }
    if (m_cancellations) {
        cancelled = m_cancellations->observe(list, view, m_now);
        updateStrip();
    }
    if (m_chime && arrived + cancelled > 0)
        m_chime->play();
}

void KitchenSignals::deletedHere(qint64 id) {
    if (m_cancellations)
        m_cancellations->deletedHere(id);
}

void KitchenSignals::tick() {
    if (!m_settings.any())
        return;
    m_now = m_clock.now();
    if (newSignal())
        m_new.expire(m_now);
    if (m_cancellations)
        updateStrip();
    // Marks that ended and colours that changed with the clock; a redraw of what is in sight costs
    // little, and the cells without either are drawn from the grid's cache.
    redrawGrids();
}

void KitchenSignals::updateStrip() {
    if (m_strip->setLines(m_cancellations->shown(m_now)))
        Q_EMIT stripChanged();
}

void KitchenSignals::redrawGrids() {
    for (const QPointer<DataGrid>& grid : std::as_const(m_grids)) {
        if (grid)
            grid->viewport()->update();
    }
}

void KitchenSignals::placeStrip(DataGrid* grid) {
    if (!m_strip)
        return;
    if (m_strip->lines().isEmpty()) {
        m_strip->hide();
        return;
    }
    m_strip->setTextFont(grid->horizontalHeader()->font());
    const QRect place = grid->geometry();
    const int height = qMin(m_strip->sizeHint().height(), place.height() / 2);
    m_strip->setGeometry(place.left(), place.top(), place.width(), height);
    grid->setGeometry(place.adjusted(0, height, 0, 0));
    m_strip->show();
    m_strip->raise();
}

} // namespace ordisp
