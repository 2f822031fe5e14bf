#include "CancelStrip.h"

#include "Cancellations.h"

#include <QLabel>
#include <QVBoxLayout>

namespace ordisp {

CancelStrip::CancelStrip(QWidget* parent)
    : QFrame(parent) {
    setObjectName(QStringLiteral("cancelStrip"));
    // Neither the connection banner's red nor the yellow and red of waiting lines.
    setStyleSheet(QStringLiteral("#cancelStrip { background-color: #6a1b9a; } QLabel { color: white; }"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(0);
    for (int i = 0; i < Cancellations::kMostShown; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("cancelLine%1").arg(i));
        label->setTextFormat(Qt::PlainText);
        // A long dish text is cut at the strip's edge rather than widening the window.
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        label->hide();
        layout->addWidget(label);
        m_labels.append(label);
    }
    hide();
}

void CancelStrip::setTextFont(const QFont& font) {
    for (QLabel* label : std::as_const(m_labels))
        label->setFont(font);
}

bool CancelStrip::setLines(const QStringList& lines) {
    if (lines == m_lines)
        return false;
    m_lines = lines;
    for (int i = 0; i < m_labels.size(); ++i) {
        m_labels.at(i)->setText(m_lines.value(i));
        m_labels.at(i)->setVisible(i < m_lines.size());
    }
    return true;
}

} // namespace ordisp
