#include "DataGrid.h"

#include "ResultSet.h"
#include "ResultSetModel.h"
#include "Screen.h"
#include "Twips.h"

#include <QCache>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QResizeEvent>
#include <QStyledItemDelegate>

#include <memory>

namespace ordisp {

// The column header line with an optional caption line above it. The caption lives in the
// header's top viewport margin, so the table view lays out header and rows as usual.
class GridHeader final : public QHeaderView {
public:
    explicit GridHeader(QWidget* parent)
        : QHeaderView(Qt::Horizontal, parent)
        , m_caption(new QLabel(this)) {
        m_caption->setObjectName(QStringLiteral("gridCaption"));
        m_caption->setAlignment(Qt::AlignCenter);
        m_caption->setAutoFillBackground(true);
        m_caption->hide();
    }

    void setCaption(const QString& text) {
        m_caption->setText(text);
        m_caption->setVisible(!text.isEmpty());
        updateCaptionGeometry();
    }
    QString caption() const { return m_caption->text(); }

    int captionHeight() const { return m_caption->text().isEmpty() ? 0 : m_caption->sizeHint().height() + 2; }

    QSize sizeHint() const override {
        QSize size = QHeaderView::sizeHint();
        size.rheight() += captionHeight();
        return size;
    }

    void updateCaptionGeometry() {
        setViewportMargins(0, captionHeight(), 0, 0);
        m_caption->setGeometry(0, 0, width(), captionHeight());
        updateGeometry();
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QHeaderView::resizeEvent(event);
        m_caption->setGeometry(0, 0, width(), captionHeight());
    }

    void changeEvent(QEvent* event) override {
        QHeaderView::changeEvent(event);
        if (event->type() == QEvent::FontChange) {
            m_caption->setFont(font());
            updateCaptionGeometry();
        }
    }

private:
    QLabel* m_caption;
};

namespace {

// Cells as drawn, at most this many KiB of them.
constexpr int kCellCacheKiB = 16 * 1024;

// Draws a cell once into a pixmap and then that pixmap for as long as the cell would look the
// same: a refresh that adds, removes or moves a line repaints the whole grid, and nearly all of
// its cells show what they showed before. Optionally wraps the text within the row height (the
// other columns stay on one line).
class CellDelegate final : public QStyledItemDelegate {
public:
    CellDelegate(bool wrap, QObject* parent)
        : QStyledItemDelegate(parent)
        , m_wrap(wrap)
        , m_cells(kCellCacheKiB) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QPalette::ColorGroup group = !(cell.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : (cell.state & QStyle::State_Active) ? QPalette::Active
                                                                                 : QPalette::Inactive;
        // The grid's own background, which the cell is drawn on.
        const QBrush base = cell.palette.brush(group, QPalette::Base);
        const qreal ratio = painter->device()->devicePixelRatio();
        if (cell.rect.isEmpty() || base.style() != Qt::SolidPattern || !cell.icon.isNull() ||
            cell.backgroundBrush.style() != Qt::NoBrush) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        // Everything the drawing depends on.
        const QString key = QStringLiteral("%1|%2|%3x%4|%5|%6|%7|%8|%9|")
                                .arg(quint64(cell.state))
                                .arg(ratio)
                                .arg(cell.rect.width())
                                .arg(cell.rect.height())
                                .arg(cell.font.key())
                                .arg(cell.palette.cacheKey())
                                .arg(uint(cell.displayAlignment) | uint(cell.features) << 16)
                                .arg(int(cell.textElideMode) | int(cell.direction) << 4)
                                .arg(quintptr(cell.widget ? cell.widget->style() : nullptr)) +
                            base.color().name(QColor::HexArgb) + QLatin1Char('|') + cell.text;
        QPixmap* cached = m_cells.object(key);
        if (!cached) {
            auto pixmap = std::make_unique<QPixmap>(cell.rect.size() * ratio);
            pixmap->setDevicePixelRatio(ratio);
            pixmap->fill(base.color());
            {
                QPainter onPixmap(pixmap.get());
                QStyleOptionViewItem atOrigin = option;
                atOrigin.rect = QRect(QPoint(0, 0), cell.rect.size());
                QStyledItemDelegate::paint(&onPixmap, atOrigin, index);
            }
            const int cost =
                qMax(1, int(qint64(pixmap->width()) * pixmap->height() * pixmap->depth() / 8 / 1024));
            cached = pixmap.get();
            if (!m_cells.insert(key, pixmap.release(), cost)) {
                QStyledItemDelegate::paint(painter, option, index);
                return;
            }
        }
        painter->drawPixmap(option.rect.topLeft(), *cached);
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (m_wrap) {
            option->features |= QStyleOptionViewItem::WrapText;
            option->displayAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        }
    }

private:
    bool m_wrap;
    mutable QCache<QString, QPixmap> m_cells;
};

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

    connect(m_header, &QHeaderView::sectionClicked, this,
            [this](int logical) { Q_EMIT headerClicked(logical); });
    connect(m_header, &QHeaderView::sectionResized, this, &DataGrid::onSectionResized);
    // A reset rebuilds the header sections at their default size.
    connect(m_model, &QAbstractItemModel::modelReset, this, &DataGrid::applyColumnWidths);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &DataGrid::onSelectionChanged);
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

void DataGrid::onSectionResized(int logicalIndex, int /*oldSize*/, int newSize) {
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

void DataGrid::applyMetrics() {
    const int rowHeight = m_rowLines * fontMetrics().lineSpacing() + 8;
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    applyColumnWidths();
}

void DataGrid::setCaption(const QString& caption) {
    m_header->setCaption(caption);
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
    m_syncing = true;
    const bool changed = m_model->sync();
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
}

} // namespace ordisp
