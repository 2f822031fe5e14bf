#include "WrappingButton.h"

#include "DesignLook.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace ordisp {

WrappingButton::WrappingButton(QWidget* parent)
    : QPushButton(parent) {}

void WrappingButton::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString text = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    if (isDown() || isChecked()) {
        contents.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                           style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    }
    painter.setPen(option.palette.color(QPalette::ButtonText));
    painter.setFont(FittingFont(font(), text, contents.size(), m_smallestPoints));
    painter.drawText(contents, Qt::AlignCenter | Qt::TextWordWrap, text);
}

} // namespace ordisp
