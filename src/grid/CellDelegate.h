#pragma once

#include <QApplication>
#include <QCache>
#include <QPainter>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTextLayout>

#include <cmath>

namespace ordisp {

// Cells as drawn, at most this many KiB of them.
// Room above and below a row's text, half each.
inline constexpr int kRowPadding = 8;
inline constexpr int kCellCacheKiB = 16 * 1024;

// Space left and right of a cell's text, as the style keeps it.
inline int TextMargin(const QWidget* widget) {
    const QStyle* style = widget ? widget->style() : QApplication::style();
    return style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
}

// Line breaks of any station's kind, kept as line breaks.
inline QString WithLineBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

// Lays the text out in lines of that width, at word boundaries (within a word only where the word
// alone is wider); returns the height of all lines.
inline qreal LayOut(QTextLayout& layout, int width) {
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

inline int WrappedHeight(const QString& text, const QFont& font, int width) {
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

} // namespace ordisp
