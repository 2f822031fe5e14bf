#include "DataGrid.h"

#include "CellDelegate.h"
#include "DesignLook.h"
#include "GridHeader.h"
#include "ResultSet.h"
#include "ResultSetModel.h"
#include "Screen.h"
#include "SteadyScrollBar.h"
#include "Twips.h"

#include <QApplication>
#include <QCache>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <QScreen>
#include <QScroller>
#include <QScrollerProperties>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QTimer>

#include <cmath>
#include <memory>

namespace ordisp {

namespace {

// A row grows for its text up to this share of the rows' visible height, so that the next line
// still shows.
constexpr int kRowCapNumerator = 2;
constexpr int kRowCapDenominator = 3;
// How long a finger rests on a line before its whole text is shown.
constexpr int kHoldMs = 500;

} // namespace

DataGrid::DataGrid(const Screen& screen, QWidget* parent)
    : QTableView(parent)
    , m_screen(screen)
    , m_model(new ResultSetModel(this))
    , m_header(new GridHeader(this))
    , m_wrapDelegate(new CellDelegate(true, this)) {
    setHorizontalHeader(m_header);
    setModel(m_model);
    setItemDelegate(new CellDelegate(false, this));

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTabKeyNavigation(false);
    setCornerButtonEnabled(false);
    setSortingEnabled(false);

    m_header->setSectionsClickable(true);
    m_header->setSectionsMovable(false);
    m_header->setHighlightSections(false);
    m_header->setStretchLastSection(false);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setVerticalScrollBar(new SteadyScrollBar(Qt::Vertical, this));

    connect(m_header, &QHeaderView::sectionClicked, this,
            [this](int logical) { Q_EMIT headerClicked(logical); });
    connect(m_header, &QHeaderView::sectionResized, this, &DataGrid::onSectionResized);
    // A reset rebuilds the header sections at their default size.
    connect(m_model, &QAbstractItemModel::modelReset, this, &DataGrid::applyColumnWidths);
    // Rows are as high as their text needs; only rows that came or changed are measured, once:
    // those a refresh changes in place are fitted where they are told to the view.
    connect(m_model, &QAbstractItemModel::modelReset, this,
            [this] { fitRowHeights(0, m_model->rowCount() - 1); });
    connect(m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                if (!changesInPlace())
                    fitRowHeights(first, last);
            });
    connect(m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                if (!cellsInPlace(topLeft, bottomRight))
                    fitRowHeights(topLeft.row(), bottomRight.row());
            });
    m_holdTimer = new QTimer(this);
    m_holdTimer->setSingleShot(true);
    m_holdTimer->setInterval(kHoldMs);
    connect(m_holdTimer, &QTimer::timeout, this, [this] {
        if (m_pressRow >= 0 && m_pressRow < m_model->rowCount())
            showWholeText(m_pressRow);
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &DataGrid::onSelectionChanged);
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_reset = true; });
    // After the header has let the rows go, so that the rows below are where they will be drawn.
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (m_removedHeight > 0)
            shiftRows(m_removedTop + m_removedHeight, -m_removedHeight);
        m_removedHeight = 0;
    });

    // A finger dragged over the rows scrolls them; a tap still selects the line under it.
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    QScroller::grabGesture(viewport(), QScroller::LeftMouseButtonGesture);
    QScrollerProperties flick = QScroller::scroller(viewport())->scrollerProperties();
    flick.setScrollMetric(QScrollerProperties::VerticalOvershootPolicy,
                          QVariant::fromValue(QScrollerProperties::OvershootAlwaysOff));
    flick.setScrollMetric(QScrollerProperties::HorizontalOvershootPolicy,
                          QVariant::fromValue(QScrollerProperties::OvershootAlwaysOff));
    QScroller::scroller(viewport())->setScrollerProperties(flick);
    applyMetrics();
}

void DataGrid::setColumns(const QList<GridColumn>& columns) {
    m_widthTwips.clear();
    for (const GridColumn& column : columns)
        m_widthTwips.append(column.widthTwips);
    m_syncing = true;
    m_model->setColumns(columns);
    m_syncing = false;
    for (int i = 0; i < columns.size(); ++i)
        setItemDelegateForColumn(i, columns.at(i).wrap ? m_wrapDelegate : nullptr);
    applyColumnWidths();
    selectCurrentRow();
}

const QList<GridColumn>& DataGrid::columns() const {
    return m_model->columns();
}

int DataGrid::columnCount() const {
    return int(m_model->columns().size());
}

int DataGrid::columnByCaption(const QString& caption) const {
    const QList<GridColumn>& all = m_model->columns();
    for (int i = 0; i < all.size(); ++i) {
        if (all.at(i).caption == caption)
            return i;
    }
    return -1;
}

void DataGrid::setColumnFormat(int position, std::function<QVariant(const QVariant&)> format) {
    m_model->setColumnFormat(position, std::move(format));
}

double DataGrid::columnWidthTwips(int position) const {
    return m_widthTwips.value(position, 0.0);
}

void DataGrid::setColumnWidthTwips(int position, double twips) {
    if (position < 0 || position >= m_widthTwips.size())
        return;
    m_widthTwips[position] = twips;
    m_applyingWidths = true;
    m_header->resizeSection(position, qMax(0, TwipsToPixels(twips, m_screen.twipsPerPixelX())));
    m_applyingWidths = false;
}

void DataGrid::applyColumnWidths() {
    m_applyingWidths = true;
    for (int i = 0; i < m_widthTwips.size() && i < m_header->count(); ++i)
        m_header->resizeSection(i, qMax(0, TwipsToPixels(m_widthTwips.at(i), m_screen.twipsPerPixelX())));
    m_applyingWidths = false;
}

void DataGrid::onSectionResized(int logicalIndex, int oldSize, int newSize) {
    if (oldSize != newSize && logicalIndex >= 0 && logicalIndex < columnCount() &&
        m_model->columns().at(logicalIndex).wrap)
        fitRowHeights(0, m_model->rowCount() - 1);
    // Only a width the user dragged becomes the column's new width in twips.
    if (m_applyingWidths || m_syncing || logicalIndex < 0 || logicalIndex >= m_widthTwips.size())
        return;
    m_widthTwips[logicalIndex] = newSize * m_screen.twipsPerPixelX();
}

void DataGrid::setCellFont(const QFont& font) {
    const QFont headerFont = m_header->font();
    setFont(font);
    m_header->setFont(headerFont);
    applyMetrics();
}

void DataGrid::setHeaderFont(const QFont& font) {
    m_header->setFont(font);
    updateGeometries();
}

void DataGrid::setRowLines(int lines) {
    m_rowLines = qMax(1, lines);
    applyMetrics();
}

int DataGrid::designRowHeight() const {
    return m_rowLines * fontMetrics().lineSpacing() + kRowPadding;
}

int DataGrid::rowHeightCap() const {
    return qMax(designRowHeight(), viewport()->height() * kRowCapNumerator / kRowCapDenominator);
}

int DataGrid::neededRowHeight(int row) const {
    int needed = 0;
    QStyleOptionViewItem view;
    initViewItemOption(&view);
    const auto* delegate = static_cast<const CellDelegate*>(m_wrapDelegate);
    // A cell is drawn inside the grid lines.
    const int gridLine = showGrid() ? 1 : 0;
    const QList<GridColumn>& all = m_model->columns();
    for (int c = 0; c < all.size(); ++c) {
        if (all.at(c).wrap) {
            const int width = columnWidth(c) - gridLine - 2 * TextMargin(this);
            needed = qMax(needed,
                          delegate->textHeight(view, m_model->index(row, c), width) + kRowPadding + gridLine);
        }
    }
    return needed;
}

void DataGrid::fitRowHeights(int first, int last) {
    const int design = designRowHeight();
    const int cap = rowHeightCap();
    m_fittedCap = cap;
    QHeaderView* rows = verticalHeader();
    last = qMin(last, m_model->rowCount() - 1);
    for (int row = qMax(0, first); row <= last; ++row) {
        const int height = qBound(design, neededRowHeight(row), cap);
        if (rows->sectionSize(row) != height)
            rows->resizeSection(row, height);
    }
}

void DataGrid::applyMetrics() {
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(designRowHeight());
    applyColumnWidths();
    fitRowHeights(0, m_model->rowCount() - 1);
}

void DataGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    // The cap follows the visible height.
    if (rowHeightCap() != m_fittedCap)
        fitRowHeights(0, m_model->rowCount() - 1);
}

bool DataGrid::viewportEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        m_pressPos = mouse->position().toPoint();
        m_pressRow = mouse->button() == Qt::LeftButton ? rowAt(m_pressPos.y()) : -1;
        if (m_pressRow >= 0)
            m_holdTimer->start();
        break;
    }
    case QEvent::MouseMove:
        if ((static_cast<QMouseEvent*>(event)->position().toPoint() - m_pressPos).manhattanLength() >
            QApplication::startDragDistance())
            m_holdTimer->stop();
        break;
    case QEvent::MouseButtonRelease:
    case QEvent::Leave:
        m_holdTimer->stop();
        break;
    default:
        break;
    }
    return QTableView::viewportEvent(event);
}

void DataGrid::showWholeText(int row) {
    const QList<GridColumn>& all = m_model->columns();
    int column = 0;
    while (column < all.size() && !all.at(column).wrap)
        ++column;
    if (column == all.size())
        return;
    const QString text = WithLineBreaks(m_model->data(m_model->index(row, column)).toString());
    if (text.isEmpty())
        return;
    if (!m_wholeText) {
        m_wholeText = new QLabel(this, Qt::Popup);
        m_wholeText->setObjectName(QStringLiteral("wholeText"));
        m_wholeText->setTextFormat(Qt::PlainText);
        m_wholeText->setWordWrap(true);
        m_wholeText->setFrameShape(QFrame::Box);
        m_wholeText->setMargin(8);
        m_wholeText->setAutoFillBackground(true);
        m_wholeText->installEventFilter(this);
    }
    m_wholeText->setFont(font());
    m_wholeText->setText(text);
    const QRect area = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 768);
    const int w = qMin(area.width(), qMax(width(), 400));
    const int h = qMin(area.height(), m_wholeText->heightForWidth(w));
    const QRect cell = visualRect(m_model->index(row, 0));
    QPoint at = viewport()->mapToGlobal(QPoint(0, cell.top()));
    at.setX(qBound(area.left(), at.x(), area.right() + 1 - w));
    at.setY(qBound(area.top(), at.y(), area.bottom() + 1 - h));
    m_wholeText->setGeometry(QRect(at, QSize(w, h)));
    m_wholeText->show();
}

bool DataGrid::eventFilter(QObject* watched, QEvent* event) {
    // A tap on the shown text puts it away again (a tap elsewhere closes any popup).
    if (watched == m_wholeText && event->type() == QEvent::MouseButtonPress) {
        m_wholeText->hide();
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

void DataGrid::setSmallestFontPoints(double points) {
    m_header->setSmallestFontPoints(points);
}

void DataGrid::setCaption(const QString& caption) {
    m_header->setCaption(caption);
    // A screen reader tells the grids apart by their captions.
    if (!caption.isEmpty())
        setAccessibleName(caption);
    updateGeometries();
}

QString DataGrid::caption() const {
    return m_header->caption();
}

int DataGrid::headerLineHeight() const {
    return m_header->height() - m_header->captionHeight();
}

void DataGrid::setDataSource(ResultSet* rs) {
    m_rs = rs;
    m_syncing = true;
    m_model->setResultSet(rs);
    selectCurrentRow();
    m_syncing = false;
}

void DataGrid::refreshGrid() {
    // A selected line in view that the change pushes out of it is brought back; one the user has
    // scrolled away from is left where it is.
    const QModelIndex before = selectionModel()->currentIndex();
    const bool wasInView = before.isValid() && rowInView(before.row());
    // A layout something else asked for is done as usual, before the rows change.
    executeDelayedItemsLayout();
    m_syncing = true;
    m_shifted = false;
    m_reset = false;
    const bool changed = m_model->sync();
    if (m_shifted && !m_reset) {
        // The rows are moved on screen already: the layout they ask for only sets the scroll range.
        m_layoutInPlace = true;
        executeDelayedItemsLayout();
        m_layoutInPlace = false;
        // Rows that only grew or shrank ask for no layout, but the scroll range follows them.
        updateGeometries();
    }
    m_shifted = false;
    selectCurrentRow();
    m_syncing = false;
    const QModelIndex current = selectionModel()->currentIndex();
    if (changed && wasInView && current.isValid() && !rowInView(current.row()))
        scrollTo(current, QAbstractItemView::EnsureVisible);
}

bool DataGrid::rowInView(int row) const {
    const QRect rect = visualRect(m_model->index(row, 0));
    return rect.isValid() && rect.top() >= 0 && rect.bottom() < viewport()->height();
}

void DataGrid::selectCurrentRow() {
    QItemSelectionModel* selection = selectionModel();
    const int row = m_rs ? m_rs->currentRow() : -1;
    if (row < 0 || row >= m_model->rowCount()) {
        if (selection->hasSelection())
            selection->clearSelection();
        if (selection->currentIndex().isValid())
            selection->clearCurrentIndex();
        return;
    }
    const QModelIndex current = selection->currentIndex();
    if (current.row() == row && selection->isRowSelected(row) && selection->selectedRows().size() == 1)
        return; // already shown as it should be: touch nothing
    const int column = current.isValid() ? current.column() : 0;
    selection->setCurrentIndex(m_model->index(row, column),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void DataGrid::onSelectionChanged() {
    if (m_syncing || !m_rs)
        return;
    const QModelIndexList rows = selectionModel()->selectedRows();
    m_rs->setCurrentRow(rows.isEmpty() ? -1 : rows.first().row());
    if (!rows.isEmpty())
        Q_EMIT lineChosen(rows.first().row());
}

void DataGrid::moveSelection(Move move) {
    // Home and End go to the first and last line, not to the first and last column of a line.
    const QModelIndex current = selectionModel()->currentIndex();
    QModelIndex next;
    if (move == Move::Last)
        next = m_model->index(m_model->rowCount() - 1, 0);
    else if (move == Move::First || !current.isValid())
        next = m_model->index(0, 0);
    else if (move == Move::Up || move == Move::Down)
        next = moveCursor(move == Move::Up ? MoveUp : MoveDown, Qt::NoModifier);
    else
        next = moveCursor(move == Move::PageUp ? MovePageUp : MovePageDown, Qt::NoModifier);
    if (!next.isValid())
        return;
    selectionModel()->setCurrentIndex(next, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(next);
}

} // namespace ordisp
