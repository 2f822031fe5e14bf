#include "DataGrid.h"

#include "ResultSetModel.h"

#include <QHeaderView>
#include <QScrollBar>

// How a refresh reaches the screen: rows that came, went or changed are redrawn, the rest of
// the picture is moved rather than painted again.
namespace ordisp {

void DataGrid::doItemsLayout() {
    if (!m_layoutInPlace) {
        QTableView::doItemsLayout();
        return;
    }
    // What the table view's layout does, less its repaint of every row.
    updateGeometries();
    if (!verticalHeader()->updatesEnabled())
        verticalHeader()->setUpdatesEnabled(true);
}

void DataGrid::shiftRows(int y, int dy) {
    if (!m_syncing || m_reset || dy == 0 || !isVisible())
        return;
    // From the first row that moves (or the viewport's top) down: QWidget::scroll moves the drawn
    // pixels and repaints only what it uncovers, the new rows among it.
    const int top = qMax(0, y - verticalOffset() - (dy > 0 ? 0 : -dy));
    const QRect area(0, top, viewport()->width(), viewport()->height() - top);
    if (area.height() > 0)
        viewport()->scroll(0, dy, area);
    m_shifted = true;
}

void DataGrid::fitInPlace(int row) {
    const int before = rowHeight(row);
    {
        // The table view would repaint every row below; they are moved instead.
        const QSignalBlocker quiet(verticalHeader());
        fitRowHeights(row, row);
    }
    if (rowHeight(row) != before)
        shiftRows(rowViewportPosition(row) + verticalOffset() + before, rowHeight(row) - before);
}

bool DataGrid::changesInPlace() const {
    return m_syncing && !m_reset && isVisible();
}

bool DataGrid::cellsInPlace(const QModelIndex& topLeft, const QModelIndex& bottomRight) const {
    // The table view repaints every row for a change of more than one cell; a refresh's rewritten
    // rows are few, and each cell of them repaints itself alone.
    constexpr int kMaxCells = 256;
    const int cells = (bottomRight.row() - topLeft.row() + 1) * (bottomRight.column() - topLeft.column() + 1);
    return changesInPlace() && topLeft != bottomRight && topLeft.isValid() && bottomRight.isValid() &&
           cells <= kMaxCells;
}

void DataGrid::rowsInserted(const QModelIndex& parent, int start, int end) {
    QTableView::rowsInserted(parent, start, end);
    if (parent.isValid() || !changesInPlace())
        return;
    // Rows come in as high as the design's; the rows below move by their final height at once.
    {
        const QSignalBlocker quiet(verticalHeader());
        fitRowHeights(start, end);
    }
    const int top = rowViewportPosition(start) + verticalOffset();
    int height = 0;
    for (int row = start; row <= end; ++row)
        height += rowHeight(row);
    shiftRows(top, height);
}

void DataGrid::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    QTableView::rowsAboutToBeRemoved(parent, start, end);
    m_removedHeight = 0;
    if (parent.isValid())
        return;
    m_removedTop = rowViewportPosition(start) + verticalOffset();
    for (int row = start; row <= end; ++row)
        m_removedHeight += rowHeight(row);
}

void DataGrid::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                           const QList<int>& roles) {
    if (!cellsInPlace(topLeft, bottomRight)) {
        QTableView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
        fitInPlace(row);
        for (int column = topLeft.column(); column <= bottomRight.column(); ++column) {
            const QModelIndex cell = m_model->index(row, column);
            QTableView::dataChanged(cell, cell, roles);
            // While a layout is pending the view leaves the cell to it; that layout repaints nothing.
            update(cell);
        }
    }
}

} // namespace ordisp
