#pragma once

#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

#include <optional>

namespace ordisp {

// A scroll bar that is drawn again only when its picture changes. Each line that comes or goes
// changes the range, which the stock bar answers with a repaint of itself and of what lies under
// it, although over hundreds of lines the handle mostly stays on the same pixels; that repaint
// cost more than the rest of such a refresh's drawing.
class SteadyScrollBar final : public QScrollBar {
public:
    SteadyScrollBar(Qt::Orientation orientation, QWidget* parent)
        : QScrollBar(orientation, parent) {}

protected:
    void sliderChange(SliderChange change) override {
        const Picture now = picture();
        if (change != SliderOrientationChange && m_drawn && *m_drawn == now)
            return;
        m_drawn = now;
        QScrollBar::sliderChange(change);
    }

    void paintEvent(QPaintEvent* event) override {
        m_drawn = picture();
        QScrollBar::paintEvent(event);
    }

private:
    // What the style draws from the range and value: the handle's place and whether either end
    // is reached (the arrow there looks disabled).
    struct Picture {
        QRect handle;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const Picture&) const = default;
    };

    Picture picture() const {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return Picture{
            style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
            value() == minimum(), value() == maximum()};
    }

    std::optional<Picture> m_drawn;
};

} // namespace ordisp
