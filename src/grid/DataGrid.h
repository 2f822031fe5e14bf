#pragma once

#include "GridColumn.h"

#include <QList>
#include <QTableView>

class QLabel;
class QStyledItemDelegate;
class QTimer;

namespace ordisp {

class ResultSet;
class ResultSetModel;
class Screen;
class GridHeader;

// Read-only grid over a ResultSet. Column widths are kept in twips (fractional, as designed) and
// shown in whole pixels; the selected row and the result set's current row are one and the same.
class DataGrid final : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(const Screen& screen, QWidget* parent = nullptr);

    void setColumns(const QList<GridColumn>& columns);
    const QList<GridColumn>& columns() const;
    int columnCount() const;
    // Position of the column with that header caption, -1 when there is none.
    int columnByCaption(const QString& caption) const;
    void setColumnFormat(int position, std::function<QVariant(const QVariant&)> format);

    double columnWidthTwips(int position) const;
    void setColumnWidthTwips(int position, double twips);

    void setCellFont(const QFont& font);
    void setHeaderFont(const QFont& font);
    // Row height as a number of text lines of the cell font.
    void setRowLines(int lines);

    // The smallest size to which a header caption that does not fit its column is shrunk.
    void setSmallestFontPoints(double points);

    // A caption line above the column headers, also the grid's accessible name; an empty text
    // hides it.
    void setCaption(const QString& caption);
    QString caption() const;

    void setDataSource(ResultSet* rs);
    ResultSet* dataSource() const { return m_rs; }
    // Shows the result set's present rows and selects its current row (nothing at its end).
    void refreshGrid();

    ResultSetModel* resultModel() const { return m_model; }
    // Height of the column header line (caption line excluded), in pixels.
    int headerLineHeight() const;
    // Re-applies the column widths and row height, e.g. after the screen's resolution changed.
    void applyMetrics();

    // Height of a row of the design's number of lines; a row grows from it for a longer text up
    // to rowHeightCap(), and the text that still does not fit ends in "…".
    int designRowHeight() const;
    int rowHeightCap() const;
    // Shows the row's whole wrapping text in a popup, as a press held on the row does.
    void showWholeText(int row);

    // Moves the selection as the keys do in a focused grid, wherever the focus is; with nothing
    // selected a move chooses the first line. The user's choice, as a click.
    enum class Move { Up, Down, PageUp, PageDown, First, Last };
    void moveSelection(Move move);

    // Lays out as the table view does, except after a refresh that only inserted, removed or
    // rewrote rows: their pixels were moved already (see rowsInserted), so nothing is repainted.
    void doItemsLayout() override;

Q_SIGNALS:
    void headerClicked(int position);
    // The user chose a line (click, tap or key); not emitted when a refresh selects one.
    void lineChosen(int row);

protected:
    void resizeEvent(QResizeEvent* event) override;
    // A refresh repaints only what it changed: the rows below an inserted or removed one are moved
    // on screen as they are, and only the new or rewritten rows are drawn.
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyColumnWidths();
    // Height the row's wrapping texts need, padding included; 0 when they are empty.
    int neededRowHeight(int row) const;
    void fitRowHeights(int first, int last);
    void selectCurrentRow();
    // Whether the row lies wholly within the visible part of the grid.
    bool rowInView(int row) const;
    void onSelectionChanged();
    void onSectionResized(int logicalIndex, int oldSize, int newSize);
    // Moves what the viewport shows from content position y down by dy pixels (up when negative).
    void shiftRows(int y, int dy);
    // Fits the row's height to its text, moving the rows below on screen rather than repainting them.
    void fitInPlace(int row);
    // Whether a refresh's rows are fitted and drawn where they change (rowsInserted, dataChanged),
    // rather than by the view's own repaint.
    bool changesInPlace() const;
    bool cellsInPlace(const QModelIndex& topLeft, const QModelIndex& bottomRight) const;

    const Screen& m_screen;
    ResultSetModel* m_model;
    GridHeader* m_header;
    QStyledItemDelegate* m_wrapDelegate;
    ResultSet* m_rs = nullptr;
    QList<double> m_widthTwips;
    int m_rowLines = 1;
    QTimer* m_holdTimer = nullptr;
    QPoint m_pressPos;
    int m_pressRow = -1;
    int m_fittedCap = 0;
    QLabel* m_wholeText = nullptr;
    // Set while the grid itself changes rows or widths, so that those changes are not taken for
    // the user's.
    bool m_syncing = false;
    bool m_applyingWidths = false;
    // During a refresh: rows came or went and were moved on screen; the model was not reset.
    bool m_shifted = false;
    bool m_reset = false;
    bool m_layoutInPlace = false;
    // Where the rows about to be removed are, content coordinates, and how high they are.
    int m_removedTop = 0;
    int m_removedHeight = 0;
};

} // namespace ordisp
