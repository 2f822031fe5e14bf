#pragma once

#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>

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

} // namespace ordisp
