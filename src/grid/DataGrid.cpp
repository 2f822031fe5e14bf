#include "DataGrid.h"

#include "DesignLook.h"
#include "ResultSet.h"
#include "ResultSetModel.h"
#include "Screen.h"
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

    void setSmallestFontPoints(double points) {
        m_smallestPoints = points;
        viewport()->update();
    }

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
    // A caption wider than its column is drawn in a smaller size of the header font instead of
    // being cut mid-word ("Meng").
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        const QString text =
            model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
        const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
        const QSize room(rect.width() - 2 * margin - 2, rect.height());
        painter->save();
        painter->setFont(FittingFont(font(), text, room, m_smallestPoints));
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();
    }

    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override {
        QHeaderView::initStyleOptionForIndex(option, logicalIndex);
        // The style measures with these metrics; they must be those of the font drawn.
        const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
        const QSize room(sectionSize(logicalIndex) - 2 * margin - 2, height());
        option->fontMetrics = QFontMetrics(FittingFont(font(), option->text, room, m_smallestPoints));
    }

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
    double m_smallestPoints = 8.0;
};

namespace {

// Cells as drawn, at most this many KiB of them.
constexpr int kCellCacheKiB = 16 * 1024;
// Room above and below a row's text, half each.
constexpr int kRowPadding = 8;
// A row grows for its text up to this share of the rows' visible height, so that the next line
// still shows.
constexpr int kRowCapNumerator = 2;
constexpr int kRowCapDenominator = 3;
// How long a finger rests on a line before its whole text is shown.
constexpr int kHoldMs = 500;

// Space left and right of a cell's text, as the style keeps it.
int TextMargin(const QWidget* widget) {
    const QStyle* style = widget ? widget->style() : QApplication::style();
    return style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
}

// Line breaks of any station's kind, kept as line breaks.
QString WithLineBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// Lays the text out in lines of that width, at word boundaries (within a word only where the word
// alone is wider); returns the height of all lines.
qreal LayOut(QTextLayout& layout, int width) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    qreal y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(qMax(1, width));
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

int WrappedHeight(const QString& text, const QFont& font, int width) {
    const QString lines = WithLineBreaks(text);
    // Most dishes fit one line: no layout for them.
    if (!lines.contains(QLatin1Char('\n')) && !lines.contains(QChar::LineSeparator) &&
        QFontMetrics(font).horizontalAdvance(lines) <= width)
        return QFontMetrics(font).height();
    QTextLayout layout(QString(lines).replace(QLatin1Char('\n'), QChar::LineSeparator), font);
    return int(std::ceil(LayOut(layout, width)));
}

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
            paintCell(painter, option, index);
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
                paintCell(&onPixmap, atOrigin, index);
            }
            const int cost =
                qMax(1, int(qint64(pixmap->width()) * pixmap->height() * pixmap->depth() / 8 / 1024));
            cached = pixmap.get();
            if (!m_cells.insert(key, pixmap.release(), cost)) {
                paintCell(painter, option, index);
                return;
            }
        }
        painter->drawPixmap(option.rect.topLeft(), *cached);
    }

    // Height of the cell's text wrapped to that width, from the same text and font as drawn.
    int textHeight(const QStyleOptionViewItem& view, const QModelIndex& index, int width) const {
        QStyleOptionViewItem cell = view;
        initStyleOption(&cell, index);
        return WrappedHeight(cell.text, cell.font, width);
    }

private:
    void paintCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
        if (!m_wrap) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        paintWrapped(painter, cell);
    }

    // The text from the top, as many lines as the row holds; when some are left over, the last
    // line shown ends in "…" (the whole text is in the tooltip and on a long press).
    static void paintWrapped(QPainter* painter, const QStyleOptionViewItem& cell) {
        const QWidget* widget = cell.widget;
        const QStyle* style = widget ? widget->style() : QApplication::style();
        QStyleOptionViewItem bare = cell;
        bare.text.clear();
        style->drawControl(QStyle::CE_ItemViewItem, &bare, painter, widget);

        const int margin = TextMargin(widget);
        const QRect room = cell.rect.adjusted(margin, kRowPadding / 2, -margin, -kRowPadding / 2);
        QTextLayout layout(WithLineBreaks(cell.text).replace(QLatin1Char('\n'), QChar::LineSeparator),
                           cell.font);
        const qreal height = LayOut(layout, room.width());
        const QPalette::ColorGroup group = !(cell.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : (cell.state & QStyle::State_Active) ? QPalette::Active
                                                                                 : QPalette::Inactive;
        painter->save();
        painter->setClipRect(cell.rect);
        painter->setFont(cell.font);
        painter->setPen(cell.palette.color(
            group, (cell.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text));
        if (std::ceil(height) <= room.height()) {
            layout.draw(painter, QPointF(room.left(), room.top() + (room.height() - height) / 2));
        } else {
            const QFontMetrics metrics(cell.font);
            for (int i = 0; i < layout.lineCount(); ++i) {
                const QTextLine line = layout.lineAt(i);
                const bool nextFits =
                    i + 1 < layout.lineCount() &&
                    layout.lineAt(i + 1).y() + layout.lineAt(i + 1).height() <= room.height();
                if (nextFits) {
                    line.draw(painter, room.topLeft());
                    continue;
                }
                QString rest = layout.text().mid(line.textStart());
                rest.replace(QChar::LineSeparator, QLatin1Char(' '));
                painter->drawText(QPointF(room.left(), room.top() + line.y() + line.ascent()),
                                  metrics.elidedText(rest, Qt::ElideRight, room.width()));
                break;
            }
        }
        painter->restore();
    }

public:
protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        // A cell the window colours (a line's waiting time) keeps its colour in the selected line.
        if (option->backgroundBrush.style() != Qt::NoBrush)
            option->state &= ~QStyle::State_Selected;
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
    // Rows are as high as their text needs; only rows that came or changed are measured.
    connect(m_model, &QAbstractItemModel::modelReset, this,
            [this] { fitRowHeights(0, m_model->rowCount() - 1); });
    connect(m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { fitRowHeights(first, last); });
    connect(m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
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

void DataGrid::rowsInserted(const QModelIndex& parent, int start, int end) {
    QTableView::rowsInserted(parent, start, end);
    if (parent.isValid() || !m_syncing || m_reset || !isVisible())
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
    // The table view repaints every row for a change of more than one cell; a refresh's rewritten
    // rows are few, and each cell of them repaints itself alone.
    constexpr int kMaxCells = 256;
    const int cells = (bottomRight.row() - topLeft.row() + 1) * (bottomRight.column() - topLeft.column() + 1);
    if (!m_syncing || m_reset || topLeft == bottomRight || !topLeft.isValid() || !bottomRight.isValid() ||
        cells > kMaxCells) {
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
