#pragma once

#include "GridColumn.h"

#include <QList>
#include <QTableView>

class QStyledItemDelegate;

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

    // A caption line above the column headers; an empty text hides it.
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

Q_SIGNALS:
    void headerClicked(int position);

private:
    void applyColumnWidths();
    void selectCurrentRow();
    // Whether the row lies wholly within the visible part of the grid.
    bool rowInView(int row) const;
    void onSelectionChanged();
    void onSectionResized(int logicalIndex, int oldSize, int newSize);

    const Screen& m_screen;
    ResultSetModel* m_model;
    GridHeader* m_header;
    QStyledItemDelegate* m_wrapDelegate;
    ResultSet* m_rs = nullptr;
    QList<double> m_widthTwips;
    int m_rowLines = 1;
    // Set while the grid itself changes rows or widths, so that those changes are not taken for
    // the user's.
    bool m_syncing = false;
    bool m_applyingWidths = false;
};

} // namespace ordisp
